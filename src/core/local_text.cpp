#include "core/local_text.h"

#include "core/app_state.h"

const char* LocalText(const char* polish, const char* english) {
  switch (app.language) {
    case 0:
      return polish;
    case 1:
      return english;
    default:
      return "ERROR";
  }
}
