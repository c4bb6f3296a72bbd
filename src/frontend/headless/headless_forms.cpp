#include "frontend/headless/headless_forms.h"
void OpenHeadlessSettingsDialog() {}
void OpenHeadlessViewer(std::shared_ptr<platform::File>, const char*, int) {}
void CloseHeadlessViewer() {}
bool HeadlessViewerShown() { return false; }
bool RunFormsCommand(const std::vector<std::string>&, std::ostream&, std::string*) { return false; }
