// The steps of a run that the entry calls in order (stored and scripted parameters, colour
// management, reading the host image, the dialog, the direct-render set-up, the clean-up
// releases), declared here once; each subsystem defines its own steps. Steps of a lower layer
// are declared in that layer's own header, included here (the host calls them, never the
// reverse).
//
// Threading contract: UI thread only, within the selectors of a run.
#pragma once

#include <cstdint>

#include "analysis/shape_operations.h"
#include "effects/effect_renderers.h"
#include "run/host_record.h"

namespace lumeray {

struct ImageRecord;
struct ParameterSetBuffer;

// Stored parameters in the host's descriptor registry: 0, -30900 (nothing usable stored) or
// -30905 (a block of another version that no conversion accepts).
int ReadRegistryParameters();
int WriteRegistryParameters();

// Played-back descriptors: may replace the current parameters and set the show-dialog decision.
// Returns 0, or kScriptingNoParameterBlock (scripting_read.h) when its working block cannot be
// allocated.
int ReadScriptingParameters(bool* showDialog);
int WriteScriptingParameters();

void BuildPixelConversionTables();

bool SetUpColorManagement();
void ReleaseColorManagement();
// Forgets the band images' colour conversion (before the run's profiles are closed).
void ReleaseBandColorManagement();
void ReleaseGammaTableCache();

// Reads the host's image, mask and profile into the working image.
bool ReadHostImage();
// Empties the request rectangles, makes one last advanceState when the run succeeded, and frees
// the input buffers.
void EndHostImageExchange();

// Runs the modal dialog; true when it ended with OK.
bool RunMainDialog();

void DeallocateMasterLightSourceTable();
// The number of light sources the final render draws.
int32_t LightSourceCount();

// Writes the rendered working image back to the host.
void WriteResultsToHost();

// Renders the effects of one band of `run` and composites them onto its working image (worker
// thread); with `deal`, the strips of every band it takes from it (band_render.h). Returns false
// when the band could not be built or rendered.
struct FilterRun;
class StripDeal;
bool RenderBandPixels(FilterRun& run, const PixelRect& band, const ParameterSetBuffer& snapshot,
                      StripDeal* deal = nullptr);

}  // namespace lumeray
