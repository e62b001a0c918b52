#pragma once

#include <string_view>

/// A converter class reference: which converter a run creates for its threads. The project
/// carries one (ConverterClass); the conversion layer defines the classes.
struct ThvConvertorClass {
    std::string_view Name;
};
