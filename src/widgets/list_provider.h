#pragma once

// What a scrolling list asks of its owner: the rows, made on demand for an
// index, and the news of a row clicked. The list keeps a non-owning pointer.

#include <cstdint>
#include <memory>

namespace lv {

class ListElement;
class ListRow;

class ListProvider {
 public:
  // A press and a release on the row without scrolling in between. The
  // owner may reset or rebind the list from here.
  virtual void row_clicked(ListElement& list, int32_t index) = 0;
  // A new row for the index, or null when there is none after all (the
  // list then becomes one shorter).
  virtual std::unique_ptr<ListRow> create_row(ListElement& list, int32_t index) = 0;

 protected:
  ~ListProvider() = default;
};

}  // namespace lv
