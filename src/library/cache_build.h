#pragma once

// Making the cache file of one picture (the library's worker calls this, one
// picture at a time): the decoder-state index of the picture, the pyramid of
// half-size levels, each with its own index, and the 64 x 64 thumbnail cut
// from the smallest level.
//
// The file is assembled in memory and written under a temporary name that
// is renamed into place when complete, so a reader never sees half a file.
// A build that fails leaves the empty file that marks a bad picture; one that
// is stopped (the program is quitting) leaves whatever was there before.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

enum class CacheBuildResult { built, failed, stopped };

// Asked before every decoded scan line; true ends the build.
using StopRequest = std::function<bool()>;

CacheBuildResult make_cache_file(std::u16string_view picture, std::u16string_view drive,
                                 const StopRequest& stop = {}, std::string* problem = nullptr);

// The whole cache file of a picture held in memory, as make_cache_file
// writes it. For the tools and the benchmark.
CacheBuildResult build_cache_bytes(const uint8_t* picture, size_t size, const StopRequest& stop,
                                   std::vector<uint8_t>& cache, std::string* problem = nullptr);

// The 64 x 64 thumbnail (quality 95) of a JPEG image: the centre of the
// image, decoded at half size when its shorter side is above 128; a portrait
// image keeps its top square; black where the image does not reach.
bool make_thumbnail_jpeg(const uint8_t* jpeg, size_t size, const StopRequest& stop,
                         std::vector<uint8_t>& thumbnail, std::string* problem = nullptr);

}  // namespace lv
