#include "core/EngineSettings.h"

EngineSettings settings;
