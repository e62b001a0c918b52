#include "hvMatch.h"

ThvMatch* hvMatch = nullptr;
