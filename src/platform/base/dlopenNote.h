#pragma once

#include <cstddef>
#include <cstdint>

/// A library the program loads itself at run time is not among its needed libraries; an ELF
/// note of the kind systemd reads ("FDO", type 0x407c0c0a, a JSON list of sonames) declares it,
/// so that packaging tools still find the dependency (`readelf -n` shows it). POSIX builds only.
template <std::size_t DescriptionBytes>
struct TDlopenNote {
    std::uint32_t NameBytes;
    std::uint32_t DescriptionSize;
    std::uint32_t Type;
    char Name[4];
    alignas(4) char Description[DescriptionBytes];
};

/// Defines the note named variable with the JSON text json (a string literal).
#define QUILLON_DLOPEN_NOTE(variable, json)                                               \
    [[gnu::used, gnu::section(".note.dlopen")]] alignas(4) const TDlopenNote<sizeof json> \
        variable = {4, sizeof json, 0x407c0c0a, "FDO", json}
