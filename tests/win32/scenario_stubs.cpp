#include "scenarios.h"
void RunSettingsScenario(const ScenarioPlace&, Report*) {}
void RunViewerScenario(const ScenarioPlace&, Report*) {}
void RunSerialScenario(const ScenarioPlace&, Report*) {}
