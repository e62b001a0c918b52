#pragma once

#include "hvConvertorClass.h"

/// The presentation-to-text converter, the converter class of this product.
class ThvQUILLON {
  public:
    static const ThvConvertorClass& Class();
};
