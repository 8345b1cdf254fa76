#pragma once

// Faults in a skin's structure, the only faults the program reports by
// exception. All are thrown by value and carry the names involved.

#include <exception>
#include <string>

namespace lv::jobser {

class SkinException : public std::exception {
 public:
  // A UTF-8 message naming the fault and the names.
  const char* what() const noexcept override { return m_message.c_str(); }

 protected:
  explicit SkinException(std::string message) : m_message(std::move(message)) {}

 private:
  std::string m_message;
};

// A screen or dialog loads itself from a named top-level node the skin lacks.
class NodeNotFoundInSkin : public SkinException {
 public:
  explicit NodeNotFoundInSkin(std::u16string node_name);
  const std::u16string& node_name() const { return m_node_name; }

 private:
  std::u16string m_node_name;
};

// A screen needs a child element by its id and the tree built from the skin
// has none.
class NodeNotFound : public SkinException {
 public:
  NodeNotFound(std::u16string searched_id, std::u16string sought_id);
  const std::u16string& searched_id() const { return m_searched_id; }
  const std::u16string& sought_id() const { return m_sought_id; }

 private:
  std::u16string m_searched_id;
  std::u16string m_sought_id;
};

// A child node's type name has no factory.
class NodeNotRegistered : public SkinException {
 public:
  explicit NodeNotRegistered(std::u16string type_name);
  const std::u16string& type_name() const { return m_type_name; }

 private:
  std::u16string m_type_name;
};

// A type name is registered a second time.
class NodeAlreadyRegistered : public SkinException {
 public:
  explicit NodeAlreadyRegistered(std::u16string type_name);
  const std::u16string& type_name() const { return m_type_name; }

 private:
  std::u16string m_type_name;
};

}  // namespace lv::jobser
