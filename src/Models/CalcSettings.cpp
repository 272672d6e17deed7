#include "Models/CalcSettings.h"

// Placeholder until the settings implementation lands.
CalcSettings::~CalcSettings() = default;
