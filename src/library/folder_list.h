#pragma once

// The folder list file, folders.ini: the library's folder records between
// runs, so the album screen can show them before any search.
//
// UTF-16LE after the mark FF FE, lines ending in a single LF, three lines
// per record numbered from 0 in decimal, with a tab between key and value:
//   KeyPicturePath<n>  the key picture's path
//   DrivePath<n>       the drive path, "%my_documents%/" unexpanded
//   FolderSize<n>      the number of pictures
// An empty list is the mark alone.

#include <string>
#include <string_view>
#include <vector>

#include "library/folder_record.h"

namespace lv {

// $XDG_STATE_HOME/lumiview/folders.ini; "" when there is no state folder.
std::u16string default_folder_list_path();

std::string encode_folder_list(const std::vector<FolderRecord>& records);

// The records the file's intact lines describe, in the order of their
// numbers. The three lines of a record are matched by their number, so a
// missing or damaged line costs only its own value: a record without a
// DrivePath line keeps an empty drive, one without a usable FolderSize line
// keeps size 0. A record needs its KeyPicturePath line. A file that starts
// with the mark but ends inside a line was cut short: that line is dropped.
// Without the mark the bytes are read as UTF-8 when they are valid UTF-8,
// else one character per byte; "=" may stand for the tab.
std::vector<FolderRecord> decode_folder_list(std::string_view bytes);

// Written atomically (a temporary file beside it, then a rename), so that a
// crash during a save leaves the old list, never half a new one. The folder
// is made when missing. False when the file cannot be written.
bool write_folder_list(std::u16string_view path, const std::vector<FolderRecord>& records);

// False (and no records) when the file is missing or cannot be read.
bool read_folder_list(std::u16string_view path, std::vector<FolderRecord>& records);

}  // namespace lv
