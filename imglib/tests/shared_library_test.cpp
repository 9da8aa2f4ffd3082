// SPDX-License-Identifier: BSD-3-Clause
// The built corvid2_img.so loaded at run time, as the library loads it: every function resolves by name with its
// declared type, objects work through the resolved functions, and the library unloads and loads again cleanly
// while its worker threads have run.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "corvid2_img/corvid2_img.h"

namespace {

class LoadedLibrary {
public:
    LoadedLibrary() : handle_(dlopen(CORVID2_IMG_FILE, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (handle_ != nullptr) {
            EXPECT_EQ(dlclose(handle_), 0);
        }
    }
    bool loaded() const { return handle_ != nullptr; }
    template <class F>
    F get(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }

private:
    void* handle_;
};

TEST(SharedLibrary, EveryFunctionResolvesAndObjectsWorkThroughThem) {
    for (int round = 0; round < 2; ++round) {
        LoadedLibrary library;
        ASSERT_TRUE(library.loaded()) << dlerror();
        const char* const names[] = {"InitLib",
                                     "DeinitLib",
                                     "GetImgProcVersion",
                                     "ImageProcessorCreate",
                                     "ImageProcessorRelease",
                                     "ImageCreate",
                                     "ImageRelease",
                                     "ImageGetHistogram",
                                     "HistogramCreate",
                                     "HistogramRelease",
                                     "GeoTransformCreate",
                                     "GeoTransformRelease",
                                     "GetPortURL",
                                     "ReadPort",
                                     "WritePort"};
        for (const char* name : names) EXPECT_NE(library.get<void*>(name), nullptr) << name;
        EXPECT_EQ(library.get<void*>("_ZN7corvid23img8CImage4InitEPKcjjPvm"), nullptr) << "internals stay hidden";

        auto init = library.get<PInitLib>("InitLib");
        auto deinit = library.get<PDeinitLib>("DeinitLib");
        auto createProcessor = library.get<PImageProcessorCreate>("ImageProcessorCreate");
        auto releaseProcessor = library.get<PImageProcessorRelease>("ImageProcessorRelease");
        auto createImage = library.get<PImageCreate>("ImageCreate");
        auto releaseImage = library.get<PImageRelease>("ImageRelease");
        auto writePort = library.get<PWritePort>("WritePort");
        ASSERT_EQ(init(), IMG_SUCCESS);
        IImageProcessor* processor = nullptr;
        ASSERT_EQ(createProcessor(&processor), IMG_SUCCESS);
        const uint32_t threads = 2;
        const uint64_t length = 4;
        ASSERT_EQ(writePort(processor, IMG_REG_CONCURRENT_THREADS, &threads, &length), IMG_SUCCESS);
        // Large enough that the work is shared with a worker thread.
        const uint32_t width = 1024, height = 512;
        std::vector<uint8_t> raw(size_t{width} * height, 0x40);
        IImage* image = nullptr;
        ASSERT_EQ(createImage(width, height, "BayerRG8", raw.data(), raw.size(), &image), IMG_SUCCESS);
        std::vector<uint8_t> rgb(raw.size() * 3);
        ASSERT_EQ(processor->TransformImageToBuffer(image, "RGB8", rgb.data(), rgb.size()), IMG_SUCCESS);
        EXPECT_EQ(rgb, std::vector<uint8_t>(rgb.size(), 0x40));
        EXPECT_EQ(releaseImage(image), IMG_SUCCESS);
        EXPECT_EQ(releaseProcessor(processor), IMG_SUCCESS);
        EXPECT_EQ(deinit(), IMG_SUCCESS);
    }
}

}  // namespace
