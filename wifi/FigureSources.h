#pragma once

namespace ondrel {

// Where one radio figure of a record came from. A backend fills in what its
// daemon reports; the kernel's figures (nl80211), where they can be read,
// replace them figure by figure.
enum class FigureSource {
    none,           // the figure is not reported (0 or absent)
    networkManager, // NetworkManager's properties (the signal: its percentage turned back into dBm)
    iwd,            // iwd's properties
    simulation,     // the simulated radio environment
    scanDump,       // the kernel's scan results: the BSS's own signal in mBm
    station,        // the kernel's station of the current link
    survey,         // the kernel's survey of the channel (noise)
    elements,       // the information elements the access point broadcasts, read from the kernel
};

// The source of each radio figure of one access point.
struct FigureSources {
    FigureSource rssi = FigureSource::none;
    FigureSource noise = FigureSource::none;
    FigureSource width = FigureSource::none;
    FigureSource country = FigureSource::none;
    FigureSource load = FigureSource::none; // station count and channel utilisation
    friend bool operator==(const FigureSources&, const FigureSources&) = default;
};

} // namespace ondrel
