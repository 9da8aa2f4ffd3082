// SPDX-License-Identifier: BSD-3-Clause
// Pixel-format conversion of acquired buffers and of the application's own memory: ImageProcessor
// and the Image objects it creates. The work is done by the image-processing library corvid2_img,
// loaded from the library's own folder when the first processor is made.
#ifndef CORVID2_IMAGE_H
#define CORVID2_IMAGE_H

#include <cstdint>

#include "corvid2/export.h"
#include "corvid2/node.h"
#include "corvid2/string.h"

// The histogram record set of corvid2_img (corvid2_img/corvid2_img.h), handed through unchanged;
// include that header to fill one.
struct qx_tHistRecords;

namespace CORVID2 {

class Buffer;
class ImageProcessor;
namespace Internal {
struct ImageData;
struct ImageProcessorData;
struct ImagingAccess;
}  // namespace Internal

// An image: a pixel format, a size and pixel memory (the application's, a buffer's, or the image
// library's own). Made only by an ImageProcessor; it ends with Release, not with delete. Every
// method throws the library's exceptions.
class CORVID2_API Image : public INode {
public:
    // Re-initialises the image over `buffer` (null: memory of its own, zeroed).
    void Init(std::uint32_t width, std::uint32_t height, const String& pixelFormat, void* buffer,
              std::uint64_t bufferSize);
    // Over the image of a complete delivered buffer, without copying it: the buffer must not be
    // queued again while the image is used.
    void Init(Buffer* buffer);
    // Destroys the image; the pointer must not be used afterwards.
    void Release();

    std::uint32_t GetWidth();
    std::uint32_t GetHeight();
    // Bytes of pixel data.
    std::uint64_t GetLength();
    String GetPixelformat();
    void* GetBuffer();
    // Bytes that a conversion of this image into `pixelFormat` needs.
    std::uint64_t GetTransformBufferLength(const String& pixelFormat);
    // Fills the records from the whole image, or from the region (a width or height of 0 reaches
    // to the image's edge).
    void GetHistogram(qx_tHistRecords records);
    void GetHistogram(qx_tHistRecords records, std::uint64_t offsetX, std::uint64_t offsetY, std::uint64_t width,
                      std::uint64_t height);
    // Scales this image by factors within [0.5, 2.0] into `target`, or into itself when null.
    void Scale(Image* target, double sx, double sy);

    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

private:
    friend struct Internal::ImagingAccess;
    explicit Image(Internal::ImageData* data);
    ~Image();
    Internal::ImageData* data_;
};

// Converts images. NotAvailableException from the constructor when corvid2_img cannot be loaded.
// Images it creates stay valid after it is destroyed.
class CORVID2_API ImageProcessor : public INode {
public:
    ImageProcessor();
    ~ImageProcessor();

    // The image library's version text.
    String GetVersion();
    // A 1 x 1 "Mono8" image with memory of its own.
    Image* CreateImage();
    // An image over `buffer` (null: memory of its own). Width and height at least 1 and a pixel
    // format name of at least two characters, else InvalidParameterException.
    Image* CreateImage(std::uint32_t width, std::uint32_t height, const String& pixelFormat, void* buffer,
                       std::uint64_t bufferSize);
    // A new image holding `image` converted into `pixelFormat`.
    Image* CreateTransformedImage(Image* image, const String& pixelFormat);
    // Converts `image` into `buffer`, which holds at least image->GetTransformBufferLength(pixelFormat) bytes.
    void TransformImageToBuffer(Image* image, const String& pixelFormat, void* buffer, std::uint64_t bufferSize);
    // The 3 x 3 colour matrix, row by row.
    void GetColorMatrix(double matrix[3][3]);
    void SetColorMatrix(const double matrix[3][3]);

    ImageProcessor(const ImageProcessor&) = delete;
    ImageProcessor& operator=(const ImageProcessor&) = delete;

private:
    friend struct Internal::ImagingAccess;
    Internal::ImageProcessorData* data_;
};

}  // namespace CORVID2

#endif
