#pragma once

#include <cstddef>
#include <cstdint>

/// Every hard limit of the engine's readers, in one structure. The defaults are the product's
/// and agree with real files: a deck at the slide limit stays within the part, entry and byte
/// limits, and a slide of a million text runs within the part limit. Tests and fuzz targets
/// build a smaller structure to reach a limit with small inputs.
///
/// Parts, streams and records are read one at a time and released before the next, so a file
/// within the limits costs at most about twice MaxPartBytes (one part or record and what is
/// read from it) plus MaxTextBytes of memory, whatever the file's size: pictures, media and
/// embedded objects are never read.
struct ThvEngineLimits {
    /// Slides of one presentation.
    std::size_t MaxSlides = 10000;
    /// Entries of a zip package: a slide, its notes page, their relationships and a chart for
    /// each of MaxSlides slides, and room for masters, layouts and media besides.
    std::size_t MaxEntries = 60000;
    /// Inflated bytes of one XML part, and bytes of one record read out of a binary
    /// presentation's document stream. A slide of a million text runs is about 60 MB.
    std::size_t MaxPartBytes = 64u << 20;
    /// Inflated bytes of all the parts read from one file together: MaxSlides slides of
    /// 100 KB. Bounds the time a zip bomb of many parts costs; memory is bounded per part.
    std::uint64_t MaxFileBytes = std::uint64_t{1} << 30;
    /// Text of one presentation, kept until it is written out (UTF-8 bytes, counted with 16
    /// bytes more per paragraph for its bookkeeping).
    std::size_t MaxTextBytes = 64u << 20;

    /// Element nesting in one XML part; real slides stay well below 100.
    std::size_t MaxXmlDepth = 256;
    /// Elements of one XML part read as a tree (about 64 bytes each): relationships, the
    /// presentation part, diagram data, charts.
    std::size_t MaxXmlElements = 1000000;
    /// Slides are read token by token and keep no tree: there the element limit grows with the
    /// part, one element for every XmlBytesPerElement bytes beyond MaxXmlElements.
    std::size_t XmlBytesPerElement = 8;
    /// Attributes of one element read by the token reader; real elements have a handful.
    std::size_t MaxXmlAttributes = 4096;
    /// XML parts above this size are scanned for depth and element count before a tree is
    /// built for them; smaller ones cannot build a large tree and are checked while walked.
    std::size_t XmlScanAboveBytes = 1u << 20;

    /// Directory entries of a compound file walked; real documents have tens, embedded objects
    /// some hundreds.
    std::size_t MaxCompoundEntries = 100000;
    /// Record nesting followed below a slide (groups inside groups); real slides stay below 20.
    std::size_t MaxRecordDepth = 64;
    /// Saves kept in one file's edit chain; PowerPoint compacts long before this.
    std::size_t MaxUserEdits = 10000;
    /// Persist object references over all persist directories of the chain.
    std::size_t MaxPersistEntries = 1000000;

    /// Passwords tried on one encrypted file, the default one included.
    std::size_t MaxPasswords = 100;
    /// Hash rounds an encrypted Office Open XML file may ask for per password: what Office
    /// writes. A file that asks for more would cost a second or more per password tried.
    std::uint32_t MaxSpinCount = 100000;

    /// The element limit of a part of the given size read token by token.
    std::size_t StreamedXmlElements(std::size_t partBytes) const {
        const std::size_t scaled = partBytes / (XmlBytesPerElement ? XmlBytesPerElement : 1);
        return scaled > MaxXmlElements ? scaled : MaxXmlElements;
    }
};
