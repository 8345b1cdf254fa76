#include "library/libjpeg_error.h"

#include <cstring>

namespace lv {

namespace {

LibjpegErrorManager& manager_of(j_common_ptr cinfo) {
  return *reinterpret_cast<LibjpegErrorManager*>(cinfo->err);
}

void on_error_exit(j_common_ptr cinfo) {
  LibjpegErrorManager& manager = manager_of(cinfo);
  (*cinfo->err->format_message)(cinfo, manager.message);
  std::longjmp(manager.jump, 1);
}

void on_emit_message(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  LibjpegErrorManager& manager = manager_of(cinfo);
  if (manager.warnings == 0) (*cinfo->err->format_message)(cinfo, manager.first_warning);
  if (manager.warnings < 0x7FFFFFFF) ++manager.warnings;
  cinfo->err->num_warnings = manager.warnings;
}

void on_output_message(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* install_error_manager(LibjpegErrorManager& manager) {
  jpeg_std_error(&manager.pub);
  manager.pub.error_exit = on_error_exit;
  manager.pub.emit_message = on_emit_message;
  manager.pub.output_message = on_output_message;
  manager.warnings = 0;
  manager.message[0] = '\0';
  manager.first_warning[0] = '\0';
  return &manager.pub;
}

void raise_libjpeg_error(j_common_ptr cinfo, const char* text) {
  LibjpegErrorManager& manager = manager_of(cinfo);
  std::strncpy(manager.message, text, sizeof manager.message - 1);
  manager.message[sizeof manager.message - 1] = '\0';
  std::longjmp(manager.jump, 1);
}

// Every guard has the same shape: no locals, setjmp, one call.

bool guarded_create(j_decompress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  jpeg_create_decompress(cinfo);
  return true;
}

bool guarded_create(j_compress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  jpeg_create_compress(cinfo);
  return true;
}

bool guarded_read_header(j_decompress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

bool guarded_start(j_decompress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  return jpeg_start_decompress(cinfo) == TRUE;
}

bool guarded_read_scanline(j_decompress_ptr cinfo, JSAMPROW row) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  return jpeg_read_scanlines(cinfo, &row, 1) == 1;
}

bool guarded_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, int count, int& got) {
  got = 0;
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  got = static_cast<int>(jpeg_read_scanlines(cinfo, rows, static_cast<JDIMENSION>(count)));
  return got > 0;
}

bool guarded_finish(j_decompress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  return jpeg_finish_decompress(cinfo) == TRUE;
}

bool guarded_set_defaults(j_compress_ptr cinfo, int quality) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, FALSE);
  return true;
}

bool guarded_start(j_compress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  jpeg_start_compress(cinfo, TRUE);
  return true;
}

bool guarded_write_scanline(j_compress_ptr cinfo, JSAMPROW row) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  return jpeg_write_scanlines(cinfo, &row, 1) == 1;
}

bool guarded_finish(j_compress_ptr cinfo) {
  if (setjmp(manager_of(reinterpret_cast<j_common_ptr>(cinfo)).jump)) return false;
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace lv
