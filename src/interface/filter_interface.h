// The filter plug-in interface between an image editor (the host) and the module.
//
// The module and the `lumeray` editor share this header and the setting table that builds on it
// (settings/setting_table.h). It declares, in plain C layout, what crosses the boundary: the
// entry point, the filter record, the handle procedures, the basic suite with the property,
// error, descriptor registry and action descriptor suites, and the scripting descriptor
// procedures. Nothing else of either side is visible to the other.
//
// Conventions
//  * Every structure is standard layout and is read by both sides; fields are only appended.
//  * Four-character codes are 32-bit numbers with the first character in the most significant
//    byte ('efT0' == 0x65665430); FourCC() builds one at compile time.
//  * Rectangles are half-open: right and bottom are one past the last column and row.
//  * Results are 16-bit signed codes (kNoErr == 0); the host's own codes pass through unchanged.
//  * Handles are opaque host objects; only the host's handle procedures may create, lock,
//    unlock or dispose of them.
//
// Threading contract
//  * The host calls the entry on one thread (its UI thread) for every selector of a run.
//  * Every host procedure reached through the record (handles, suites, advanceState,
//    progressProc, abortProc, descriptor procedures) may only be called on that thread.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---- Basic types ---------------------------------------------------------------------------

using OSErr = int16_t;
using Boolean = uint8_t;
using FourCode = uint32_t;

constexpr FourCode FourCC(const char (&code)[5]) {
  return (static_cast<FourCode>(static_cast<uint8_t>(code[0])) << 24) |
         (static_cast<FourCode>(static_cast<uint8_t>(code[1])) << 16) |
         (static_cast<FourCode>(static_cast<uint8_t>(code[2])) << 8) |
         static_cast<FourCode>(static_cast<uint8_t>(code[3]));
}

// Result codes.
constexpr OSErr kNoErr = 0;
constexpr OSErr kWritErr = -20;             // write error
constexpr OSErr kParamErr = -50;            // parameter error
constexpr OSErr kMemFullErr = -108;         // out of memory
constexpr OSErr kUserCanceledErr = -128;    // user cancelled
constexpr OSErr kErrAEEventFailed = -1715;  // general failure
constexpr OSErr kFilterBadParameters = -30100;
constexpr OSErr kErrPlugInHostInsufficient = -30900;  // also: "nothing usable stored"
constexpr OSErr kErrStoredVersionMismatch = -30905;

// Filter selectors.
constexpr int16_t kFilterSelectorAbout = 0;
constexpr int16_t kFilterSelectorParameters = 1;
constexpr int16_t kFilterSelectorPrepare = 2;
constexpr int16_t kFilterSelectorStart = 3;
constexpr int16_t kFilterSelectorContinue = 4;
constexpr int16_t kFilterSelectorFinish = 5;

// Image modes the module handles.
constexpr int16_t kModeGrayScale = 1;
constexpr int16_t kModeRGB = 3;
constexpr int16_t kModeGray16 = 10;
constexpr int16_t kModeRGB48 = 11;
constexpr int16_t kModeRGB96 = 16;
constexpr int16_t kModeGray32 = 17;

struct PIRect16 {
  int16_t top, left, bottom, right;
};

struct VRect {
  int32_t top, left, bottom, right;
};

struct VPoint {
  int32_t v, h;
};

// ---- Handles -------------------------------------------------------------------------------

struct HandleRecord;  // defined by the host only
using Handle = HandleRecord*;

using NewPIHandleProc = Handle (*)(int32_t size);
using DisposePIHandleProc = void (*)(Handle h);
using GetPIHandleSizeProc = int32_t (*)(Handle h);
using SetPIHandleSizeProc = OSErr (*)(Handle h, int32_t newSize);
using LockPIHandleProc = char* (*)(Handle h, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle h);

struct HandleProcs {
  int16_t handleProcsVersion;
  int16_t numHandleProcs;
  NewPIHandleProc newProc;
  DisposePIHandleProc disposeProc;
  GetPIHandleSizeProc getSizeProc;
  SetPIHandleSizeProc setSizeProc;
  LockPIHandleProc lockProc;
  UnlockPIHandleProc unlockProc;
};

// ---- Suites --------------------------------------------------------------------------------

using SPErr = int32_t;
constexpr SPErr kSPNoError = 0;
constexpr SPErr kSPSuiteNotFoundError = FourCC("S!Fd");

struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  int32_t (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
  SPErr (*Undefined)(void);
};

constexpr const char* kPropertySuiteName = "Photoshop Property Suite for Plug-ins";
constexpr const char* kErrorSuiteName = "Photoshop Error Suite for Plug-ins";
constexpr const char* kDescriptorRegistrySuiteName = "61e608b0-40fd-11d1-8da3-00c04fd5f7ee";
constexpr const char* kActionDescriptorSuiteName = "df135115-c769-11d0-8079-00c04fd7ec47";

using PIType = FourCode;
using DescriptorKeyID = FourCode;
using DescriptorTypeID = FourCode;
using DescriptorUnitID = FourCode;
using DescriptorEnumID = FourCode;
using DescriptorEnumTypeID = FourCode;

struct PropertySuite1 {
  OSErr (*getPropertyProc)(PIType signature, PIType key, int32_t index, intptr_t* simpleProperty,
                           Handle* complexProperty);
  OSErr (*setPropertyProc)(PIType signature, PIType key, int32_t index, intptr_t simpleProperty,
                           Handle complexProperty);
};

struct ErrorSuite1 {
  SPErr (*SetErrorFromPString)(const unsigned char* errorString);
  SPErr (*SetErrorFromCString)(const char* errorString);
  SPErr (*SetErrorFromZString)(const void* zstring);
};

struct ActionDescriptorRecord;  // defined by the host only
using PIActionDescriptor = ActionDescriptorRecord*;

struct DescriptorRegistrySuite1 {
  SPErr (*Register)(const char* key, PIActionDescriptor descriptor, Boolean isPersistent);
  SPErr (*Erase)(const char* key);
  SPErr (*Get)(const char* key, PIActionDescriptor* descriptor);
};

// The part of the action descriptor suite the module uses (the same first operations in
// version 2 and version 3).
struct ActionDescriptorSuite {
  SPErr (*Make)(PIActionDescriptor* descriptor);
  SPErr (*Free)(PIActionDescriptor descriptor);
  SPErr (*PutData)(PIActionDescriptor descriptor, DescriptorKeyID key, int32_t length, void* value);
  SPErr (*GetDataLength)(PIActionDescriptor descriptor, DescriptorKeyID key, int32_t* value);
  SPErr (*GetData)(PIActionDescriptor descriptor, DescriptorKeyID key, void* value);
};

// ---- Scripting descriptors -----------------------------------------------------------------

struct OpaqueReadDescriptor;
using PIReadDescriptor = OpaqueReadDescriptor*;
struct OpaqueWriteDescriptor;
using PIWriteDescriptor = OpaqueWriteDescriptor*;
using PIDescriptorHandle = Handle;

constexpr DescriptorTypeID kTypeNull = FourCC("null");
constexpr DescriptorTypeID kTypeBoolean = FourCC("bool");
constexpr DescriptorTypeID kTypeFloat = FourCC("doub");
constexpr DescriptorTypeID kTypeUnitFloat = FourCC("UntF");
constexpr DescriptorTypeID kTypeInteger = FourCC("long");
constexpr DescriptorTypeID kTypeEnumerated = FourCC("enum");

struct ReadDescriptorProcs {
  int16_t readDescriptorProcsVersion;
  int16_t numReadDescriptorProcs;
  PIReadDescriptor (*openReadDescriptorProc)(PIDescriptorHandle descriptor,
                                             const DescriptorKeyID* keyArray);
  OSErr (*closeReadDescriptorProc)(PIReadDescriptor token);
  Boolean (*getKeyProc)(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type,
                        int32_t* flags);
  OSErr (*getIntegerProc)(PIReadDescriptor token, int32_t* value);
  OSErr (*getFloatProc)(PIReadDescriptor token, double* value);
  OSErr (*getUnitFloatProc)(PIReadDescriptor token, DescriptorUnitID* unit, double* value);
  OSErr (*getBooleanProc)(PIReadDescriptor token, Boolean* value);
  OSErr (*getEnumeratedProc)(PIReadDescriptor token, DescriptorEnumID* value);
};

struct WriteDescriptorProcs {
  int16_t writeDescriptorProcsVersion;
  int16_t numWriteDescriptorProcs;
  PIWriteDescriptor (*openWriteDescriptorProc)(void);
  OSErr (*closeWriteDescriptorProc)(PIWriteDescriptor token, PIDescriptorHandle* newDescriptor);
  OSErr (*putIntegerProc)(PIWriteDescriptor token, DescriptorKeyID key, int32_t value);
  OSErr (*putFloatProc)(PIWriteDescriptor token, DescriptorKeyID key, const double* value);
  OSErr (*putUnitFloatProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                            const double* value);
  OSErr (*putBooleanProc)(PIWriteDescriptor token, DescriptorKeyID key, Boolean value);
  OSErr (*putEnumeratedProc)(PIWriteDescriptor token, DescriptorKeyID key,
                             DescriptorEnumTypeID type, DescriptorEnumID value);
};

// playInfo values.
constexpr int16_t kPlayDialogDontDisplay = 0;
constexpr int16_t kPlayDialogDisplay = 1;
constexpr int16_t kPlayDialogSilent = 2;

struct PIDescriptorParameters {
  int16_t descriptorParametersVersion;
  int16_t playInfo;
  int16_t recordInfo;
  PIDescriptorHandle descriptor;
  WriteDescriptorProcs* writeDescriptorProcs;
  ReadDescriptorProcs* readDescriptorProcs;
};

// ---- Filter record -------------------------------------------------------------------------

// The host's window for the module's messages. On this platform it is an opaque window handle
// of the host's toolkit (0 when the host has none).
struct PlatformData {
  intptr_t hwnd;
};

// The record passed with the About selector.
struct AboutRecord {
  void* platformData;  // PlatformData*
  SPBasicSuite* sSPBasic;
  void* plugInRef;
};

struct BigDocumentStruct {
  int32_t PluginUsing32BitCoordinates;
  VPoint imageSize32;
  VRect filterRect32;
  VRect inRect32;
  VRect outRect32;
  VRect maskRect32;
  VRect floatCoord32;  // reserved
  VPoint wholeSize32;
};

using TestAbortProc = Boolean (*)(void);
using ProgressProc = void (*)(int32_t done, int32_t total);
using AdvanceStateProc = OSErr (*)(void);

struct FilterRecord {
  int32_t serialNumber;  // unused, 0
  TestAbortProc abortProc;
  ProgressProc progressProc;
  Handle parameters;

  VPoint imageSize;  // 16-bit era fields, kept for layout; 32-bit values in bigDocumentData
  int16_t planes;
  PIRect16 filterRect;

  int32_t maxSpace;
  int32_t bufferSpace;

  PIRect16 inRect;
  int16_t inLoPlane;
  int16_t inHiPlane;
  PIRect16 outRect;
  int16_t outLoPlane;
  int16_t outHiPlane;

  void* inData;
  int32_t inRowBytes;
  void* outData;
  int32_t outRowBytes;

  Boolean isFloating;
  Boolean haveMask;
  Boolean autoMask;
  PIRect16 maskRect;
  void* maskData;
  int32_t maskRowBytes;

  int16_t imageMode;
  int16_t depth;  // bits per sample: 8, 16 or 32

  int32_t inputRate;  // 16.16 fixed point
  int32_t maskRate;
  int16_t inputPadding;
  int16_t outputPadding;
  int16_t maskPadding;

  void* platformData;  // PlatformData*
  HandleProcs* handleProcs;
  AdvanceStateProc advanceState;

  int16_t inLayerPlanes;
  int16_t inTransparencyMask;
  int16_t inLayerMasks;
  int16_t inInvertedLayerMasks;
  int16_t inNonLayerPlanes;

  int16_t inTileHeight;
  int16_t inTileWidth;
  VPoint inTileOrigin;

  PIDescriptorParameters* descriptorParameters;
  unsigned char* errorString;  // Pascal string buffer of 256 bytes

  SPBasicSuite* sSPBasic;
  void* plugInRef;

  int32_t iCCprofileSize;
  Handle iCCprofileData;

  BigDocumentStruct* bigDocumentData;
};

// ---- The entry -----------------------------------------------------------------------------

// PluginMain(selector, record, data, result): `record` is a FilterRecord* for selectors 1-5 and
// an AboutRecord* for selector 0; `*data` is the module's cell kept by the host between calls.
using PluginMainProc = void (*)(int16_t selector, void* record, intptr_t* data, int16_t* result);

// The module's diagnostic entry for listing light sources. Called after Prepare instead of
// Start: it reads the image like Start, runs the light source analysis, and hands each line of
// the light source table to `sink` ("NumberOfLightSources = %d", then one line per source,
// brightest first); it draws nothing, records nothing, and ends the module's run state.
constexpr const char* kTraceLightSourcesEntryName = "LumerayTraceLightSources";
using LightSourceSinkProc = void (*)(void* context, const char* line);
using TraceLightSourcesProc = void (*)(void* record, intptr_t* data, int16_t* result,
                                       LightSourceSinkProc sink, void* context);

}  // extern "C"
