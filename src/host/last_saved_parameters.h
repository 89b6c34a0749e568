// The last-saved parameter file ("LastSavedParameters.lmx" in the user's settings folder): read
// by Start when the host holds no usable stored parameters, written at every Finish.
#pragma once

namespace lumeray {

// True when a block of the current version was read and copied into the current parameters.
// A file shorter than the 40-byte record, or of another version, is not used.
bool LoadLastSavedParameters();

// Writes the current parameters, stamped with the current version, as a 255-byte block.
bool SaveLastSavedParameters();

}  // namespace lumeray
