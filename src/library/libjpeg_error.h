#pragma once

// The error manager of every libjpeg object the program makes. libjpeg
// never prints and never exits: an error unwinds with longjmp to the guard
// around the libjpeg call that raised it, which answers false. Warnings
// (corrupt or truncated data) are counted and decoding goes on.
//
// The setjmp frames live in the small guard functions below and nowhere
// else: a longjmp skips only libjpeg's C frames and the program's source,
// destination and progress callbacks, none of which hold objects with
// destructors while they can raise an error.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace lv {

struct LibjpegErrorManager {
  jpeg_error_mgr pub;  // first, so that cinfo->err leads back here
  std::jmp_buf jump;
  int warnings = 0;
  char message[JMSG_LENGTH_MAX] = {};
  char first_warning[JMSG_LENGTH_MAX] = {};
};

// Fills the manager and returns the pointer to store in cinfo->err.
jpeg_error_mgr* install_error_manager(LibjpegErrorManager& manager);

// Raises an error from a callback of the program's own (a short read of a
// destination, a limit exceeded). Does not return.
[[noreturn]] void raise_libjpeg_error(j_common_ptr cinfo, const char* text);

// Guards: each runs one libjpeg call and answers false when it raised an
// error. The message is then in the error manager.
bool guarded_create(j_decompress_ptr cinfo);
bool guarded_create(j_compress_ptr cinfo);
bool guarded_read_header(j_decompress_ptr cinfo);
bool guarded_start(j_decompress_ptr cinfo);
bool guarded_read_scanline(j_decompress_ptr cinfo, JSAMPROW row);
// Up to `count` scan lines in one call; `got` tells how many came.
bool guarded_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, int count, int& got);
bool guarded_finish(j_decompress_ptr cinfo);
bool guarded_set_defaults(j_compress_ptr cinfo, int quality);
bool guarded_start(j_compress_ptr cinfo);
bool guarded_write_scanline(j_compress_ptr cinfo, JSAMPROW row);
bool guarded_finish(j_compress_ptr cinfo);

}  // namespace lv
