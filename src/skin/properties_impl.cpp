#include "skin/properties_impl.h"

#include <algorithm>
#include <utility>

#include "base/file_util.h"
#include "base/log.h"
#include "skin/font_desc.h"
#include "skin/skin_check.h"

namespace lv {

using namespace skin_format;

namespace {

void log_record_sizes() {
  Logger& out = log();
  out << u"sizeof(Node*4)=" << 8 << u"\n";
  out << u"sizeof(IntegerNode*4)=" << 32 << u"\n";
  out << u"sizeof(PointNode*4)=" << 32 << u"\n";
  out << u"sizeof(Node)=" << 2 << u"\n";
  out << u"sizeof(IntegerNode)=" << record_size(Section::integer) << u"\n";
  out << u"IntegerNode::Size=" << record_size(Section::integer) << u"\n";
  out << u"sizeof(PointNode)=" << record_size(Section::point) << u"\n";
  out << u"PointNode::Size=" << record_size(Section::point) << u"\n";
  out << u"sizeof(ColorNode)=" << record_size(Section::color) << u"\n";
  out << u"ColorNode::Size=" << record_size(Section::color) << u"\n";
  out << u"sizeof(StringNode)=" << record_size(Section::string) << u"\n";
  out << u"StringNode::Size=" << record_size(Section::string) << u"\n";
  out << u"sizeof(PictureNode)=" << record_size(Section::picture) << u"\n";
  out << u"PictureNode::Size=" << record_size(Section::picture) << u"\n";
}

bool is_separator(char16_t c) {
  return c == u'/' || c == u'\\';
}

}  // namespace

std::u16string skin_folder_of(std::u16string_view path) {
  if (!path.empty() && is_separator(path.back())) path.remove_suffix(1);
  size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1])) --cut;
  return std::u16string(path.substr(0, cut));
}

std::u16string skin_picture_path(std::u16string_view folder, std::u16string_view name) {
  if (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
  if (folder.empty()) return std::u16string(name);
  std::u16string path(folder);
  path += u'/';
  path += name;
  return path;
}

PropertiesImpl::PropertiesImpl(const std::u16string& path, const ScreenInfo& screen) {
  log_record_sizes();
  if (!read_file(path)) return;
  const SkinImage view = image();
  SkinHeader header;
  if (!view.read_header(header)) return;  // too short or not a skin: no log line
  m_scale = skin_scale_for_dpi(screen.dpi);

  Stopwatch stopwatch;
  SkinLayout layout;
  std::string reason;
  if (!check_skin(view, layout, reason)) {
    log() << u"Error: skin [" << path << u"] is damaged: " << reason << u"\n";
    return;
  }
  m_root = layout.header.root;
  m_named_count = layout.named_count;

  if (!load_pictures(path, layout.pool)) return;
  create_fonts(layout.pool);
  copy_strings(layout.pool);
  log() << u"PropertiesImpl::PropertiesImpl fonts create time=" << stopwatch.lap() << u"\n";
  m_header = m_image->data();
}

bool PropertiesImpl::read_file(const std::u16string& path) {
  FileStream stream(path, OpenMode::read);
  const int64_t size = stream.is_open() ? std::max<int64_t>(stream.size(), 0) : 0;
  if (static_cast<uint64_t>(size) > kMaxSkinFileSize) {
    log() << u"Error: skin [" << path << u"] is too large\n";
    return false;
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(size));
  const long long got = size > 0 ? stream.read(bytes->data(), bytes->size()) : 0;
  // A partly read image would leave the rest of the buffer meaningless: the
  // load fails and the previous skin stays.
  if (got != size) {
    log() << u"Error: skin [" << path << u"] failed to load\n";
    return false;
  }
  m_image = std::move(bytes);
  return true;
}

bool PropertiesImpl::load_pictures(const std::u16string& path, const std::vector<uint32_t>& pool) {
  const SkinImage view = image();
  const std::u16string folder = skin_folder_of(path);
  const uint32_t count = view.u32(kPictureCountOffset);
  Stopwatch stopwatch;
  m_pictures.clear();
  m_pictures.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const std::u16string name = view.string_at(pool[i]);
    Picture picture = load_picture(skin_picture_path(folder, name));
    if (picture.empty()) {
      log() << u"PropertiesImpl::PropertiesImpl picture failed to load {" << name << u"}\n";
      return false;
    }
    log() << u"PropertiesImpl::PropertiesImpl picture load time=" << stopwatch.lap() << u" {"
          << name << u"}\n";
    m_pictures.push_back(std::move(picture));
  }
  return true;
}

void PropertiesImpl::create_fonts(const std::vector<uint32_t>& pool) {
  const SkinImage view = image();
  const uint32_t first = view.u32(kPictureCountOffset);
  const uint32_t count = view.u32(kFontCountOffset);
  m_fonts.clear();
  m_fonts.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    FontDesc desc = FontDesc::for_skin_scale(m_scale);
    parse_font_description(view.string_at(pool[first + i]), desc);
    m_fonts.push_back(create_font(desc));
  }
}

void PropertiesImpl::copy_strings(const std::vector<uint32_t>& pool) {
  const SkinImage view = image();
  const size_t first = size_t{view.u32(kPictureCountOffset)} + view.u32(kFontCountOffset);
  m_strings.clear();
  m_strings.reserve(pool.size() - first);
  for (size_t i = first; i < pool.size(); ++i) m_strings.push_back(view.string_at(pool[i]));
}

void PropertiesImpl::swap(PropertiesImpl& other) noexcept {
  std::swap(m_image, other.m_image);
  std::swap(m_header, other.m_header);
  std::swap(m_pictures, other.m_pictures);
  std::swap(m_fonts, other.m_fonts);
  std::swap(m_strings, other.m_strings);
  std::swap(m_scale, other.m_scale);
  std::swap(m_root, other.m_root);
  std::swap(m_named_count, other.m_named_count);
}

SkinImage PropertiesImpl::image() const {
  if (!m_image) return SkinImage();
  return SkinImage(std::span<const uint8_t>(m_image->data(), m_image->size()));
}

const SkinNode* PropertiesImpl::find_node(std::u16string_view name) const {
  if (!valid()) return nullptr;
  const std::optional<uint32_t> body = image().find_named(m_root, name, m_named_count);
  return body ? node_at(*body) : nullptr;
}

std::optional<uint32_t> PropertiesImpl::body_of(const SkinNode* node) const {
  if (!valid() || node == nullptr) return std::nullopt;
  const auto at = reinterpret_cast<uintptr_t>(node);
  const auto base = reinterpret_cast<uintptr_t>(m_header);
  if (at < base || at - base >= m_image->size()) return std::nullopt;
  return static_cast<uint32_t>(at - base);
}

const SkinNode* PropertiesImpl::node_at(uint32_t body) const {
  return reinterpret_cast<const SkinNode*>(m_header + body);
}

}  // namespace lv
