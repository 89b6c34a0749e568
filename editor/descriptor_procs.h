// The host's descriptor procedures: how the module reads a played-back descriptor and writes the
// one the host records (the readDescriptorProcs and writeDescriptorProcs of the record's
// descriptorParameters).
//
// Conventions
//  * A descriptor handle is a host handle holding EncodeDescriptor bytes (descriptor.h).
//  * Reading returns every key of the descriptor in its order, whatever key array the module
//    opens it with; each get must ask for the type of the key just returned, otherwise it fails
//    with kDescriptorTypeErr and returns nothing (a unit float is not a float, nor the reverse).
//  * Closing a write descriptor makes a new handle in the session's handle table; the old
//    descriptor handle is the module's to dispose of.
//
// Threading: the procedures use the host context of the calling thread (host_context.h); called
// without one they fail (null token, kParamErr).
#pragma once

#include "filter_interface.h"

namespace lumeray {

constexpr OSErr kDescriptorTypeErr = kParamErr;
constexpr int16_t kReadDescriptorProcsVersion = 0;
constexpr int16_t kReadDescriptorProcsCount = 8;
constexpr int16_t kWriteDescriptorProcsVersion = 0;
constexpr int16_t kWriteDescriptorProcsCount = 7;

ReadDescriptorProcs MakeReadDescriptorProcs();
WriteDescriptorProcs MakeWriteDescriptorProcs();

}  // namespace lumeray
