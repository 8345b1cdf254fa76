#pragma once

// Helpers shared by the JPEG tests: file lists, whole-file reads and an
// independent reference decode (djpeg when installed, else libjpeg used the
// plain way, with its own error handling, on files known to be good).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "support/test_env.h"

namespace lv::test {

inline std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file under a folder, sorted, optionally recursive.
inline std::vector<std::string> files_under(const std::string& folder, bool recursive) {
  std::vector<std::string> out;
  std::error_code ec;
  if (recursive) {
    for (auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
      if (e.is_regular_file()) out.push_back(e.path().string());
  } else {
    for (auto& e : std::filesystem::directory_iterator(folder, ec))
      if (e.is_regular_file()) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct ReferenceImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

inline bool have_djpeg() {
  return ::access("/usr/bin/djpeg", X_OK) == 0;
}

inline bool parse_ppm(const std::vector<uint8_t>& bytes, ReferenceImage& image) {
  std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
  std::istringstream in(head);
  std::string magic;
  int maxval = 0;
  in >> magic >> image.width >> image.height >> maxval;
  if (magic != "P6" || maxval != 255 || !in) return false;
  size_t offset = static_cast<size_t>(in.tellg()) + 1;  // one whitespace byte after maxval
  size_t size = static_cast<size_t>(image.width) * image.height * 3;
  if (bytes.size() < offset + size) return false;
  image.rgb.assign(bytes.begin() + offset, bytes.begin() + offset + size);
  return true;
}

// libjpeg-turbo with JDCT_IFAST, no fancy upsampling, RGB output.
inline bool reference_decode(const std::string& path, int scale, ReferenceImage& image) {
  if (have_djpeg()) {
    std::string out = make_temp_dir("ref") + "/out.ppm";
    std::string command = "/usr/bin/djpeg -dct fast -nosmooth -rgb -scale 1/" +
                          std::to_string(scale) + " -outfile '" + out + "' '" + path + "'" +
                          " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    return parse_ppm(read_bytes(out), image);
  }
  std::vector<uint8_t> data = read_bytes(path);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(scale);
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.rgb.data() + static_cast<size_t>(cinfo.output_scanline) * image.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace lv::test
