// SPDX-License-Identifier: BSD-3-Clause
// The binary interface of corvid2_img, the image-processing library that corvid2 loads at run time: its exported
// functions, the interfaces of the objects they create, the histogram records and the result codes.
#ifndef CORVID2_IMG_H
#define CORVID2_IMG_H

#ifndef __cplusplus
#error "corvid2_img.h declares C++ interfaces; include it from C++"
#endif

#include <cstdint>

#if defined(_WIN32)
#ifdef CORVID2_IMG_BUILD
#define CORVID2_IMG_API __declspec(dllexport)
#else
#define CORVID2_IMG_API __declspec(dllimport)
#endif
#else
#define CORVID2_IMG_API __attribute__((visibility("default")))
#endif

/// Base name of the library file: "corvid2_img" followed by the platform's extension (".so", ".dll").
#define CORVID2_IMG_LIBRARY_NAME "corvid2_img"

/// Result of every function and method of the library. Codes other than those below are never returned.
enum IMG_RESULT_CODES : int32_t {
    IMG_SUCCESS = 0,
    /// A null pointer where one is required, a value out of range, an unknown pixel format name, an image size of 0,
    /// a buffer smaller than the pixel format needs, a foreign or released object.
    IMG_INVALID_PARAMETER = 1001,
    /// The data asked for does not exist: a polarization component that is not enabled.
    IMG_NOT_AVAILABLE = 1002,
    /// The pixel formats are known, but this conversion or operation does not exist for them (for example a
    /// conversion into a raw Bayer format, or a polarization component of an image that is not a polarizer mosaic).
    IMG_UNSUPPORTED_CONVERSION = 1003,
    /// Memory for a result could not be allocated.
    IMG_OUT_OF_MEMORY = 1004,
    /// A port access outside the register space or the description, or not covering exactly one register.
    IMG_INVALID_ADDRESS = 1005,
    /// A port write to a register that is read-only.
    IMG_ACCESS_DENIED = 1006,
    /// An unexpected failure inside the library (a bug); the objects stay usable.
    IMG_INTERNAL_ERROR = 1099
};

/// Matrix kinds of IImageProcessor::SetMatrixElement / GetMatrixElement.
enum IMG_MATRIX_KIND : uint32_t {
    /// 3 x 3 colour matrix (rows and columns 0 to 2), applied to R, G, B of colour sources when the processor's
    /// ColorTransformationEnable is set: out[row] = sum over column of element[row][column] * in[column].
    /// Identity by default; elements within -64 to 64.
    IMG_MATRIX_COLOR = 0,
    /// Polarizer calibration: for each colour channel c (0 red, or the only matrix of a monochrome sensor; 1 green;
    /// 2 blue) a 3 x 4 matrix turning the intensities behind the 0, 45, 90 and 135 degree filters (columns 0 to 3)
    /// into the Stokes parameters S0, S1, S2. Row index = 3 * c + Stokes row (0 to 8), column 0 to 3. Default for
    /// every channel: S0 = (I0 + I45 + I90 + I135) / 2, S1 = I0 - I90, S2 = I45 - I135. Elements within -64 to 64.
    IMG_MATRIX_POLARIZATION = 1,
    /// Offset in degrees (-360 to 360) added to every angle of polarization; row 0, column 0.
    IMG_MATRIX_POLARIZATION_ANGLE_OFFSET = 2
};

/// Polarization components of IImage::EnableComponent / GetComponent.
enum IMG_COMPONENT : uint32_t {
    IMG_COMPONENT_INTENSITY = 1,  ///< S0
    IMG_COMPONENT_AOP = 2,        ///< angle of polarization, 0 to 180 degrees mapped onto the value range
    IMG_COMPONENT_DOLP = 3,       ///< degree of linear polarization, 0 to 1 mapped onto the value range
    IMG_COMPONENT_POL = 4,        ///< polarized part of the intensity, DOLP * S0
    IMG_COMPONENT_UNPOL = 5,      ///< unpolarized part, S0 - POL
    IMG_COMPONENT_ADOLP = 6,      ///< RGB8 picture: hue = AOP, value = DOLP, full saturation
    IMG_COMPONENT_POL0 = 7,       ///< the samples behind the 0 degree filters
    IMG_COMPONENT_POL45 = 8,
    IMG_COMPONENT_POL90 = 9,
    IMG_COMPONENT_POL135 = 10,
    IMG_COMPONENT_POLMIN = 11,  ///< darkest intensity through an ideal polarizer, (S0 - POL) / 2
    IMG_COMPONENT_POLMAX = 12,  ///< brightest, (S0 + POL) / 2
    /// Colour polarization sensors: the polarizer mosaic of one colour (2 x 2 polarizer cells under a Bayer RG
    /// arrangement of cells), half the width and height of the raw image, as a monochrome polarizer mosaic of the
    /// raw image's depth ("VelmorPolarized8", "...10", "...12"). Green is the mean of the two green cells.
    IMG_COMPONENT_PLANE_RED = 13,
    IMG_COMPONENT_PLANE_GREEN = 14,
    IMG_COMPONENT_PLANE_BLUE = 15
};

/// Flags of IHistogram::Fill.
enum IMG_HISTOGRAM_FLAGS : uint32_t {
    IMG_HISTOGRAM_REPLACE = 0,    ///< the counts of the image replace the previous ones
    IMG_HISTOGRAM_ACCUMULATE = 1  ///< the counts are added (the image must have the depth of the previous fill)
};

/// Register addresses of the port of an image processor (little-endian; integers 4 bytes, floats 8-byte doubles).
/// The feature description served by GetPortURL names them; applications without GenApi may use them directly.
enum IMG_PROCESSOR_REGISTER : uint64_t {
    IMG_REG_DEMOSAICING_METHOD = 0x0000,           ///< RW: 0 bilinear, 1 gradient-corrected (Malvar-He-Cutler)
    IMG_REG_COLOR_TRANSFORMATION_ENABLE = 0x0004,  ///< RW: 0 or 1
    IMG_REG_CONCURRENT_THREADS = 0x0008,           ///< RW: 1 to 64 threads per operation; default: hardware threads
    IMG_REG_COLOR_MATRIX_SELECTOR = 0x000C,        ///< RW: element 0 to 8 (row * 3 + column) of the colour matrix
    IMG_REG_POLARIZATION_COLOR_SELECTOR = 0x0010,  ///< RW: 0 to 2, channel of the calibration matrix
    IMG_REG_POLARIZATION_VALUE_SELECTOR = 0x0014,  ///< RW: 0 to 11 (row * 4 + column) of the calibration matrix
    IMG_REG_CONCURRENT_THREADS_MAX = 0x0018,       ///< RO: 64
    IMG_REG_INSTRUCTION_SET = 0x001C,              ///< RO: 0 scalar, 1 SSE4.2, 2 AVX2, 3 AVX-512 (in use)
    IMG_REG_POLARIZATION_ANGLE_OFFSET = 0x0020,    ///< RW double, degrees
    IMG_REG_COLOR_MATRIX_VALUE = 0x0100,           ///< RW double[9], element at 0x100 + 8 * selector
    IMG_REG_POLARIZATION_MATRIX_VALUE = 0x0200,    ///< RW double[36], at 0x200 + 96 * channel + 8 * element
    IMG_REG_VERSION = 0x0400,                      ///< RO text, 64 bytes, NUL-padded
    IMG_REG_DESCRIPTION = 0x10000000               ///< RO: the feature description (length from GetPortURL)
};

/// Register addresses of the port of an image (same conventions).
enum IMG_IMAGE_REGISTER : uint64_t {
    IMG_REG_IMAGE_WIDTH = 0x0000,               ///< RO
    IMG_REG_IMAGE_HEIGHT = 0x0004,              ///< RO
    IMG_REG_IMAGE_LENGTH = 0x0008,              ///< RO, 8 bytes: bytes of pixel data
    IMG_REG_IMAGE_INTERPOLATION = 0x0010,       ///< RW: 0 or 1, as EnableInterpolation
    IMG_REG_IMAGE_COMPONENT_SELECTOR = 0x0014,  ///< RW: component 1 to 15
    IMG_REG_IMAGE_COMPONENT_ENABLE = 0x0018,    ///< RW: 0 or 1, enable of the selected component
    IMG_REG_IMAGE_PIXEL_FORMAT = 0x0100         ///< RO text, 64 bytes, NUL-padded
};

class IImageProcessor;

/// An image: a pixel format, a size and pixel memory, either the caller's (which must outlive the image's use of it)
/// or the library's own. Created by ImageCreate or IImageProcessor::TransformImage, released by ImageRelease.
/// Methods of one image must not run concurrently with a method that changes that image; images may be read by
/// several threads at once.
///
/// Pixel layout: rows follow each other without padding; 8-bit components one byte each, deeper components in
/// little-endian 16-bit words with the value in the low bits (Mono10, RGB12 ...); "p" formats one LSB-first bit
/// stream and "Packed" formats (GigE Vision) pairs of pixels in three bytes, over the whole image. Raw polarizer
/// mosaics are "VelmorPolarized8", "VelmorPolarized10", "VelmorPolarized12", "VelmorPolarized16" (16-bit words) and
/// "VelmorPolarized12p";
/// their 2 x 2 cells hold the 90 and 45 degree filters on the first row and 135 and 0 degrees on the second.
///
/// Operations that deliver a result into a target image re-initialise the target: it keeps its memory when that
/// holds the result, otherwise the library gives it memory of its own (GetBuffer then answers that memory).
class IImage {
public:
    /// Re-initialises the image over new memory. A null buffer gives the image zeroed memory of its own (bufferSize is
    /// then ignored); otherwise bufferSize must be at least the bytes the format needs. Width and height at least 1;
    /// 4:2:2 formats need an even width.
    virtual IMG_RESULT_CODES Init(const char* pixelFormat, uint32_t width, uint32_t height, void* buffer,
                                  uint64_t bufferSize) = 0;
    virtual IMG_RESULT_CODES GetWidth(uint32_t* width) const = 0;
    virtual IMG_RESULT_CODES GetHeight(uint32_t* height) const = 0;
    /// Bytes of pixel data (not the size of the buffer given to Init).
    virtual IMG_RESULT_CODES GetLength(uint64_t* length) const = 0;
    /// The pixel format name. In/out size in bytes including the terminating NUL; a null name asks for the size;
    /// a size too small gives IMG_INVALID_PARAMETER and the size needed.
    virtual IMG_RESULT_CODES GetPixelFormat(char* name, uint64_t* size) const = 0;
    virtual IMG_RESULT_CODES GetBuffer(void** buffer) const = 0;
    /// Bytes that a conversion of this image into pixelFormat needs (IImageProcessor::TransformImageToBuffer).
    virtual IMG_RESULT_CODES GetTransformedBufferSize(const char* pixelFormat, uint64_t* length) const = 0;
    /// Polarization components at full resolution (each angle interpolated at every pixel) instead of one value per
    /// 2 x 2 cell (half width and height). Off by default.
    virtual IMG_RESULT_CODES EnableInterpolation(bool enable) = 0;
    /// Marks a polarization component (IMG_COMPONENT) as wanted; only enabled components can be fetched.
    virtual IMG_RESULT_CODES EnableComponent(uint32_t component, bool enable) = 0;
    /// Computes an enabled component (IMG_COMPONENT) of this raw polarizer mosaic into target, with the calibration
    /// matrix and angle offset held by processor and its thread count (a null processor: the default calibration,
    /// no offset, the default thread count). The matrix is that of the image's colour channel: 0 for a mosaic
    /// initialised by Init, the plane's colour for a plane delivered by IMG_COMPONENT_PLANE_*. Results have the raw
    /// image's depth ("Mono8", "Mono10", "Mono12"; ADOLP is "RGB8"). IMG_NOT_AVAILABLE for a component that is not
    /// enabled, IMG_UNSUPPORTED_CONVERSION for an image that is not a polarizer mosaic, IMG_INVALID_PARAMETER for a
    /// mosaic smaller than one cell (2 x 2; 4 x 4 for the colour planes).
    virtual IMG_RESULT_CODES GetComponent(uint32_t component, IImageProcessor* processor, IImage* target) = 0;
    /// Makes this image the colour image of three monochrome planes of equal size and format: Mono8 planes give
    /// RGB8, MonoN planes (N = 10, 12, 14, 16) give RGB<N>.
    virtual IMG_RESULT_CODES FromPlanes(IImage* red, IImage* green, IImage* blue) = 0;
    /// Delivers the region (offsetX, offsetY, width, height; a width or height of 0 reaches the image's edge) of this
    /// image into target, reduced by the smallest integer factor with which it fits into the target's width and
    /// height at the time of the call; each result pixel is the mean of the pixels it stands for. Regions of
    /// polarizer mosaics start on a cell (even offsets). Mosaic images (Bayer, polarizer) are reduced cell by cell and
    /// stay mosaics; packed formats come out unpacked, 4:2:2 images as RGB8.
    virtual IMG_RESULT_CODES Downsample(uint32_t offsetX, uint32_t offsetY, uint32_t width, uint32_t height,
                                        IImage* target) = 0;
    /// The handle of the image's port for GetPortURL, ReadPort and WritePort.
    virtual IMG_RESULT_CODES GetPortHandle(void** handle) const = 0;

protected:
    ~IImage() = default;
};

/// Converts images. Its settings (demosaicing method, colour matrix and its enable, threads per operation,
/// polarizer calibration) are read and written through its port; the processor pointer is its port handle.
/// Created by ImageProcessorCreate, released by ImageProcessorRelease. Any method may be called from any thread.
class IImageProcessor {
public:
    /// A new image of pixelFormat (memory of its own) holding the converted source; release it with ImageRelease.
    /// Bayer sources are demosaiced with the processor's method; the colour matrix, when enabled, applies to colour
    /// sources before the target's depth and layout are made. Targets: Mono8, Mono16, RGB8, BGR8, RGBa8, BGRa8, RGB16,
    /// BGR16. Deeper components are aligned to the most significant bit of a 16-bit target and cut to the top 8 bits
    /// for an 8-bit one; colour becomes grey as (77 R + 150 G + 29 B) / 256. Alpha of RGBa8 and BGRa8 targets is 255,
    /// except in a conversion into the source's own format without colour matrix, which copies the pixels.
    virtual IMG_RESULT_CODES TransformImage(IImage* source, const char* pixelFormat, IImage** result) = 0;
    /// The same conversion into the caller's buffer, which must hold GetTransformedBufferSize bytes.
    virtual IMG_RESULT_CODES TransformImageToBuffer(IImage* source, const char* pixelFormat, void* buffer,
                                                    uint64_t bufferSize) = 0;
    /// Element of a matrix of IMG_MATRIX_KIND.
    virtual IMG_RESULT_CODES SetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double value) = 0;
    virtual IMG_RESULT_CODES GetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double* value) const = 0;

protected:
    ~IImageProcessor() = default;
};

/// Histogram of one image (or of several, accumulated), with statistics of one selected channel. Channel 0 is the
/// whole image: the value of a monochrome image, or for colour images the luminance weighted by the channel weights
/// (normalised to their sum; default 0.299, 0.587, 0.114); channels 1, 2, 3 are red, green and blue. Bayer images
/// are counted per 2 x 2 cell (the two green samples of a cell both count on channel 2, their mean on channel 0).
/// Values are counted at the image's component depth; statistics are fractions of full scale.
class IHistogram {
public:
    /// Clears the counts and restores the defaults: range 0 to 1, channel 0, default weights.
    virtual IMG_RESULT_CODES Initialize() = 0;
    /// The range (0 <= low <= high <= 1, fractions of full scale) that the in-range, over and under counts use.
    virtual IMG_RESULT_CODES SetNormalizedRange(double low, double high) = 0;
    /// Counts the image (IMG_HISTOGRAM_FLAGS).
    virtual IMG_RESULT_CODES Fill(IImage* image, uint32_t flags) = 0;
    /// Mean value of the selected channel (0 when nothing was counted).
    virtual IMG_RESULT_CODES GetAverage(double* average) const = 0;
    /// Mean of the values within the range (0 when none).
    virtual IMG_RESULT_CODES GetAverageInRange(double* average) const = 0;
    virtual IMG_RESULT_CODES GetCountInRange(uint64_t* count) const = 0;
    /// Values above the range.
    virtual IMG_RESULT_CODES GetCountOver(uint64_t* count) const = 0;
    /// Values below the range.
    virtual IMG_RESULT_CODES GetCountUnder(uint64_t* count) const = 0;
    virtual IMG_RESULT_CODES GetCountTotal(uint64_t* count) const = 0;
    /// The channel (0 to 3) whose statistics the getters give.
    virtual IMG_RESULT_CODES SetChannelIndex(uint32_t channel) = 0;
    virtual IMG_RESULT_CODES GetChannelIndex(uint32_t* channel) const = 0;
    /// Weight (0 to 1) of red (1), green (2) or blue (3) in channel 0 of colour images, used by the next Fill.
    virtual IMG_RESULT_CODES SetChannelWeight(uint32_t channel, double weight) = 0;
    virtual IMG_RESULT_CODES GetChannelWeight(uint32_t channel, double* weight) const = 0;

protected:
    ~IHistogram() = default;
};

/// Scales images with bilinear interpolation (pixel centres mapped onto pixel centres).
class IGeoTransform {
public:
    /// Factors from 1/64 to 64; the angle must be 0 (rotation is not offered).
    virtual IMG_RESULT_CODES SetScale(double sx, double sy, double angle) = 0;
    /// Target (which may be the source itself; null is refused) becomes the scaled source, round(width * sx) x
    /// round(height * sy) pixels (at least 1). Formats Mono8, Mono16, RGB8, BGR8, RGBa8, BGRa8, RGB16, BGR16 keep their
    /// format; any other source is converted first (bilinear demosaicing) to RGB8 or RGB16 (colour) or Mono8 or Mono16
    /// (grey), 16 bits for sources deeper than 8.
    virtual IMG_RESULT_CODES Process(IImage* source, IImage* target) = 0;

protected:
    ~IGeoTransform() = default;
};

/// One channel's part of ImageGetHistogram's answer.
struct qx_tHistRecord {
    uint64_t* counts;   ///< in: the caller's binCount counters, or null for the statistics only
    uint32_t binCount;  ///< in: number of counters (1 to 65536); value v goes to counter v * binCount >> bits
    uint32_t bits;      ///< out: component depth; values lie within 0 to 2^bits - 1
    uint64_t total;     ///< out: values counted
    double average;     ///< out: their mean, in the image's value range
    uint32_t minimum;   ///< out
    uint32_t maximum;   ///< out
    uint32_t valid;     ///< out: 1 when the image has this channel; otherwise 0 and every output is 0
    uint32_t reserved;
};

/// The histogram record set, passed by value: record i is channel i (0 the whole image as IHistogram defines it,
/// 1 red, 2 green, 3 blue). The library writes the counters and outputs of the first `count` records.
struct qx_tHistRecords {
    qx_tHistRecord* records;  ///< the caller's records
    uint32_t count;           ///< 1 to 4
    uint32_t reserved;
};

extern "C" {

/// Prepares the library; may be called more than once, each call matched by DeinitLib.
CORVID2_IMG_API IMG_RESULT_CODES InitLib();
/// The last DeinitLib stops the library's worker threads (they are started again when needed).
CORVID2_IMG_API IMG_RESULT_CODES DeinitLib();
/// Version text "corvid2_img <major>.<minor>.<patch>"; in/out size including the NUL, as IImage::GetPixelFormat.
CORVID2_IMG_API IMG_RESULT_CODES GetImgProcVersion(char* text, uint64_t* size);
CORVID2_IMG_API IMG_RESULT_CODES ImageProcessorCreate(IImageProcessor** processor);
CORVID2_IMG_API IMG_RESULT_CODES ImageProcessorRelease(IImageProcessor* processor);
/// A new image; arguments as IImage::Init.
CORVID2_IMG_API IMG_RESULT_CODES ImageCreate(uint32_t width, uint32_t height, const char* pixelFormat, void* buffer,
                                             uint64_t bufferSize, IImage** image);
CORVID2_IMG_API IMG_RESULT_CODES ImageRelease(IImage* image);
/// Fills the records from the region (offsetX, offsetY, width, height) of the image; a width or height of 0 means
/// up to the right or bottom edge, so all four 0 is the whole image. The region must lie within the image.
CORVID2_IMG_API IMG_RESULT_CODES ImageGetHistogram(IImage* image, qx_tHistRecords records, uint64_t offsetX,
                                                   uint64_t offsetY, uint64_t width, uint64_t height);
CORVID2_IMG_API IMG_RESULT_CODES HistogramCreate(IHistogram** histogram);
CORVID2_IMG_API IMG_RESULT_CODES HistogramRelease(IHistogram* histogram);
CORVID2_IMG_API IMG_RESULT_CODES GeoTransformCreate(IGeoTransform** transform);
CORVID2_IMG_API IMG_RESULT_CODES GeoTransformRelease(IGeoTransform* transform);
/// Location of the port's feature description, "Local:<name>.xml;<hex address>;<hex length>"; in/out size
/// including the NUL, as IImage::GetPixelFormat. The port handle is an IImageProcessor* or IImage* of this library.
CORVID2_IMG_API IMG_RESULT_CODES GetPortURL(void* port, char* url, uint64_t* size);
/// Reads *length bytes at address: a range within the register space or within the description.
CORVID2_IMG_API IMG_RESULT_CODES ReadPort(void* port, uint64_t address, void* buffer, uint64_t* length);
/// Writes one whole writable register; values out of range give IMG_INVALID_PARAMETER and change nothing.
CORVID2_IMG_API IMG_RESULT_CODES WritePort(void* port, uint64_t address, const void* buffer, const uint64_t* length);

}  // extern "C"

// Types of the exported functions, for resolving them by name.
typedef IMG_RESULT_CODES (*PInitLib)();
typedef IMG_RESULT_CODES (*PDeinitLib)();
typedef IMG_RESULT_CODES (*PGetImgProcVersion)(char* text, uint64_t* size);
typedef IMG_RESULT_CODES (*PImageProcessorCreate)(IImageProcessor** processor);
typedef IMG_RESULT_CODES (*PImageProcessorRelease)(IImageProcessor* processor);
typedef IMG_RESULT_CODES (*PImageCreate)(uint32_t width, uint32_t height, const char* pixelFormat, void* buffer,
                                         uint64_t bufferSize, IImage** image);
typedef IMG_RESULT_CODES (*PImageRelease)(IImage* image);
typedef IMG_RESULT_CODES (*PImageGetHistogram)(IImage* image, qx_tHistRecords records, uint64_t offsetX,
                                               uint64_t offsetY, uint64_t width, uint64_t height);
typedef IMG_RESULT_CODES (*PHistogramCreate)(IHistogram** histogram);
typedef IMG_RESULT_CODES (*PHistogramRelease)(IHistogram* histogram);
typedef IMG_RESULT_CODES (*PGeoTransformCreate)(IGeoTransform** transform);
typedef IMG_RESULT_CODES (*PGeoTransformRelease)(IGeoTransform* transform);
typedef IMG_RESULT_CODES (*PGetPortURL)(void* port, char* url, uint64_t* size);
typedef IMG_RESULT_CODES (*PReadPort)(void* port, uint64_t address, void* buffer, uint64_t* length);
typedef IMG_RESULT_CODES (*PWritePort)(void* port, uint64_t address, const void* buffer, const uint64_t* length);

#endif  // CORVID2_IMG_H
