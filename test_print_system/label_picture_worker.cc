#include "test_print_system/label_picture_worker.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "test_print_system/file_util.h"
#include "zpl/document/label_pictures.h"

namespace corvella::testing {

LabelPictureWorker::LabelPictureWorker(int dots_per_mm, zpl::MediaSize media)
    : dots_per_mm_(dots_per_mm), media_(media), thread_([this] { run(); }) {}

LabelPictureWorker::~LabelPictureWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void LabelPictureWorker::add(std::string job_path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job_path));
  }
  wake_.notify_one();
}

void LabelPictureWorker::run() {
  zpl::RenderOptions options;
  options.dots_per_mm = dots_per_mm_;
  options.media = media_;
  zpl::LabelRenderer renderer(options);
  while (true) {
    std::string path;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      path = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const std::optional<std::string> document = testing::ReadFile(path);
    if (!document) {
      std::fprintf(stderr, "corvella-label-printer: cannot read %s\n", path.c_str());
      continue;
    }
    // Everything is written under a hidden name and renamed into place, the
    // report last. Each label is written as it is drawn, so a job of many
    // labels holds one picture at a time.
    const size_t slash = path.find_last_of('/');
    const std::string directory = path.substr(0, slash + 1);
    std::string name = path.substr(slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0)
      name.resize(name.size() - 4);
    const std::string stem = directory + name;
    const std::string hidden = directory + "." + name + ".drawing";
    std::string error;
    size_t labels = 0;
    bool written = zpl::DrawLabelPictures(renderer, *document, hidden, labels, error, stem);
    std::vector<std::pair<std::string, std::string>> moves;
    for (size_t i = 0; i < labels; ++i) {
      moves.emplace_back(zpl::PicturePath(hidden, i), zpl::PicturePath(stem, i));
    }
    moves.emplace_back(zpl::ReportPath(hidden), zpl::ReportPath(stem));
    for (const auto& [from, to] : moves) {
      if (written && std::rename(from.c_str(), to.c_str()) != 0) {
        written = false;
        error = "cannot rename " + from;
      }
      if (!written) std::remove(from.c_str());
    }
    if (!written) std::fprintf(stderr, "corvella-label-printer: %s\n", error.c_str());
  }
}

}  // namespace corvella::testing
