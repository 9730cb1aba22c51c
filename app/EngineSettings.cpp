#include "app/EngineSettings.h"

EngineSettings settings;
