#include "listen/request_report.h"

#include <mutex>
#include <utility>

namespace {

std::mutex observerLock;
RequestObserver activeObserver;

}  // namespace

void SetRequestObserver(RequestObserver observer) {
  std::lock_guard<std::mutex> hold(observerLock);
  activeObserver = std::move(observer);
}

void ReportAnsweredRequest(const AnsweredRequest& request) {
  RequestObserver observer;
  {
    std::lock_guard<std::mutex> hold(observerLock);
    observer = activeObserver;
  }
  if (observer) observer(request);
}
