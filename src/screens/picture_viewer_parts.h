#pragma once

// The parts of the picture viewer that its slot code and its worker code
// share: a picture's tile sources, the slot record, requests and finished
// tiles. Only the viewer's own sources include this.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/thread.h"
#include "library/tile_source.h"
#include "screens/picture_viewer.h"

namespace lv {

// The tile sources of one picture. A source serves one thread at a time,
// so each worker borrows one; a picture with a cache file gets a source per
// worker (opening one costs a read of the file's header and indexes), a
// picture decoded whole keeps one, so its pixels are held only once.
struct PictureViewer::SourceBox {
  std::mutex lock;
  std::condition_variable returned;
  std::vector<std::unique_ptr<TileSource>> idle;  // guarded by lock
  int lent = 0;                                   // guarded by lock
  int limit = 1;
  std::function<std::unique_ptr<TileSource>()> another;

  std::unique_ptr<TileSource> borrow() {
    std::unique_lock guard(lock);
    while (idle.empty()) {
      if (another && lent < limit) {
        ++lent;
        guard.unlock();
        std::unique_ptr<TileSource> made = another();
        if (made && made->ready()) return made;
        guard.lock();
        --lent;
        another = nullptr;  // it cannot be opened twice: share the one there is
        continue;
      }
      if (lent == 0) return nullptr;
      returned.wait(guard);
    }
    std::unique_ptr<TileSource> source = std::move(idle.back());
    idle.pop_back();
    ++lent;
    return source;
  }
  void give_back(std::unique_ptr<TileSource> source) {
    {
      std::lock_guard guard(lock);
      --lent;
      if (source) idle.push_back(std::move(source));
    }
    returned.notify_one();
  }
};

// A source borrowed from a picture's box for the length of a scope.
class Borrowed {
 public:
  explicit Borrowed(const std::shared_ptr<PictureViewer::SourceBox>& box)
      : m_box(box), m_source(box ? box->borrow() : nullptr) {}
  ~Borrowed() {
    if (m_source) m_box->give_back(std::move(m_source));
  }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
  TileSource* operator->() const { return m_source.get(); }
  explicit operator bool() const { return m_source != nullptr; }

 private:
  std::shared_ptr<PictureViewer::SourceBox> m_box;
  std::unique_ptr<TileSource> m_source;
};

struct PictureViewer::Slot {
  BigPictureElement* element = nullptr;
  std::shared_ptr<SourceBox> source;
  std::u16string picture;
  Kind kind = Kind::cache_file;
  bool ready = false;
  double saved_zoom = 0;
  uint64_t generation = 0;
  // What the worker needs to map a request onto the source.
  Size shown;
  int orientation = 1;
  int source_levels = 0;
  bool turned = false;
  bool placeholder = false;
  bool round_up = false;
  int tile_side = kTileSide;
};

struct PictureViewer::Request {
  int place = 0;
  uint64_t generation = 0;
  int level = 0;
  int column = 0;
  int row = 0;
  uint64_t id = 0;
  bool busy = false;  // a worker is making it
};

struct PictureViewer::Finished {
  int place = 0;
  uint64_t generation = 0;
  int level = 0;
  int column = 0;
  int row = 0;
  std::shared_ptr<const Surface> tile;
};

class PictureViewer::TileWorker final : public Thread {
 public:
  explicit TileWorker(PictureViewer& viewer) : m_viewer(viewer) { set_priority(-1); }

 protected:
  void run() override { m_viewer.worker_loop(); }

 private:
  PictureViewer& m_viewer;
};

}  // namespace lv
