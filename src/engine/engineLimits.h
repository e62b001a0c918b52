#pragma once

#include <cstddef>
#include <cstdint>

/// Every hard limit of the engine's readers, in one place. A file that passes them costs at most
/// a few times MaxPartBytes of memory at any moment: parts are read one at a time and released
/// before the next. Pictures and media are never inflated, whatever their size.
struct ThvEngineLimits {
    /// Entries in a package's central directory; real decks have a few hundred.
    static constexpr std::size_t MaxEntries = 20000;
    /// Inflated bytes of one XML part (a slide, the presentation part, a diagram's data).
    static constexpr std::size_t MaxPartBytes = 16u << 20;
    /// Inflated bytes of all the parts read from one file together.
    static constexpr std::uint64_t MaxFileBytes = 256u << 20;
    /// Element nesting in one XML part; real slides stay well below 100.
    static constexpr std::size_t MaxXmlDepth = 256;
    /// Elements of one XML part: bounds the parsed tree (about 64 bytes per element).
    static constexpr std::size_t MaxXmlElements = 1000000;
    /// Attributes of one element read by the token reader; real elements have a handful.
    static constexpr std::size_t MaxXmlAttributes = 4096;
    /// XML parts above this size are scanned for depth and element count before they are
    /// parsed; smaller ones cannot build a large tree, and are checked while they are walked.
    static constexpr std::size_t XmlScanAboveBytes = 1u << 20;
    /// Slides of one presentation.
    static constexpr std::size_t MaxSlides = 10000;
    /// Bytes of a compound file's header and directory looked at to classify it.
    static constexpr std::size_t MaxCompoundDirectoryBytes = 16u << 20;
};
