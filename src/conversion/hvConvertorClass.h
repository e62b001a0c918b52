#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class ThvBatch;
class ThvNode;
class ThvConvertor;

/// A notification without arguments, bound to its receiver.
using ThvEvent = std::function<void()>;
/// A notification about one node of a batch, bound to its receiver.
using ThvNodeEvent = std::function<void(ThvBatch& batch, ThvNode& node)>;

/// A converter class reference: how a run creates the converters of its chain. The project
/// carries one (ConverterClass); each converter class defines its own.
struct ThvConvertorClass {
    std::string_view Name;
    /// Creates a converter, suspended, with the rest of its chain (count converters in all).
    std::shared_ptr<ThvConvertor> (*Create)(ThvBatch& batch, int32_t count,
                                            const ThvNodeEvent& onFileDone) = nullptr;
};
