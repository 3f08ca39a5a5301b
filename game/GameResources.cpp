#include "GameResources.h"
