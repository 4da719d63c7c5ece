// The library's single error set. Every failure inside the library is one of
// these values; callers pass them upward unchanged and only the exported
// functions turn them into a return code and a message line.
#pragma once

#include <cstdint>

namespace vokri {

#define VOKRI_ERROR_LIST(X)                     \
    X(InvalidPickMetadata, 0x01)                \
    X(InvalidPickCoordinate, 0x02)              \
    X(OutOfMemory, 0x03)                        \
    X(InvalidUnitSize, 0x05)                    \
    X(AccessDenied, 0x06)                       \
    X(AntivirusInterference, 0x07)              \
    X(BadPathName, 0x08)                        \
    X(FileBusy, 0x09)                           \
    X(FileNotFound, 0x0A)                       \
    X(IsDir, 0x0B)                              \
    X(NetworkNotFound, 0x0C)                    \
    X(NoDevice, 0x0D)                           \
    X(NoSpaceLeft, 0x0E)                        \
    X(NotDir, 0x0F)                             \
    X(PathAlreadyExists, 0x10)                  \
    X(PipeBusy, 0x11)                           \
    X(SystemResources, 0x12)                    \
    X(Unexpected, 0x13)                         \
    X(WriteFailed, 0x14)                        \
    X(InvalidDrawItem, 0x20)                    \
    X(InvalidWireGeometry, 0x21)                \
    X(InvalidSize, 0x22)                        \
    X(InvalidRadius, 0x23)                      \
    X(TooFewPoints, 0x24)                       \
    X(TooFewSides, 0x25)                        \
    X(PixelSourceNotPreMultiplied, 0x26)        \
    X(InvalidMatrix, 0x27)                      \
    X(InvalidHeight, 0x28)                      \
    X(InvalidWidth, 0x29)                       \
    X(InvalidState, 0x2A)                       \
    X(PathNotClosed, 0x2B)                      \
    X(NoCurrentPoint, 0x2C)                     \
    X(InvalidBatch, 0x2D)                       \
    X(InvalidVector, 0x2E)                      \
    X(TopologyMismatch, 0x31)                   \
    X(InvalidRaster, 0x33)                      \
    X(UnsupportedRasterSurface, 0x35)           \
    X(InvalidInfiniteGeometry, 0x36)            \
    X(InvalidComplexGrid, 0x37)                 \
    X(UnsupportedComplexGridSurface, 0x38)      \
    X(InvalidFractalKind, 0x39)                 \
    X(InvalidFractal, 0x3A)                     \
    X(InvalidFractalTransform, 0x3B)            \
    X(UnsupportedFractalSurface, 0x3C)          \
    X(InvalidMeshLayer, 0x3D)                   \
    X(InvalidOutputSize, 0x3E)                  \
    X(InvalidDimensions, 0x3F)                  \
    X(DegenerateVector, 0x40)                   \
    X(InvalidProjection, 0x41)                  \
    X(InvalidOpacity, 0x42)                     \
    X(InvalidMesh, 0x43)                        \
    X(SingularModelTransform, 0x44)             \
    X(Unsupported3DSurface, 0x45)               \
    X(OutputBufferTooSmall, 0xB7)               \
    X(BytesWrittenMismatch, 0xB8)

enum class Error : uint16_t {
    None = 0,
#define VOKRI_ERROR_ENUM(name, code) name = code,
    VOKRI_ERROR_LIST(VOKRI_ERROR_ENUM)
#undef VOKRI_ERROR_ENUM
};

// The printed name of an error ("OutOfMemory"); "None" for Error::None and
// "Unexpected" for a value outside the set.
const char* error_name(Error e) noexcept;

inline bool ok(Error e) noexcept { return e == Error::None; }

}  // namespace vokri

// Evaluates an expression yielding Error and returns it from the enclosing
// function when it is not Error::None.
#define VOKRI_TRY(expr)                                  \
    do {                                                 \
        ::vokri::Error vokri_try_err_ = (expr);          \
        if (vokri_try_err_ != ::vokri::Error::None)      \
            return vokri_try_err_;                       \
    } while (0)
