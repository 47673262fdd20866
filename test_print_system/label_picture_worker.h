#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "zpl/document/label_renderer.h"

namespace corvella::testing {

// Draws the labels of stored jobs on a thread of its own, so drawing never
// slows the acceptance of jobs. For DIR/job-000001.bin it writes
// DIR/job-000001.png (and job-000001-2.png, ... for further labels) and,
// last, DIR/job-000001.json: once the report is there, so is every picture.
// Each picture is the loaded `media` at the printer's resolution.
class LabelPictureWorker {
 public:
  LabelPictureWorker(int dots_per_mm, zpl::MediaSize media);
  // Draws every job still queued, then stops.
  ~LabelPictureWorker();
  LabelPictureWorker(const LabelPictureWorker&) = delete;
  LabelPictureWorker& operator=(const LabelPictureWorker&) = delete;

  void add(std::string job_path);

 private:
  void run();

  const int dots_per_mm_;
  const zpl::MediaSize media_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace corvella::testing
