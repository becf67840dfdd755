#include "vemor/ChartLook.h"

#include <algorithm>
#include <optional>

namespace vemor::chart {

namespace {

constexpr Rgb Palette[] = {
    {255, 0, 0},     {0, 128, 0},     {255, 255, 0},   {0, 0, 255},     {255, 255, 255},
    {128, 128, 128}, {255, 0, 255},   {0, 128, 128},   {0, 0, 128},     {128, 0, 0},
    {0, 255, 0},     {128, 128, 0},   {128, 0, 128},   {192, 192, 192}, {0, 255, 255},
    {0, 0, 0},       {192, 220, 192}, {166, 202, 240}, {255, 251, 240}, {160, 160, 164},
};

std::array<TraceLook, SeriesCount> Resolve() {
    struct Design {
        const char* Name;
        const char* Title;
        std::optional<Rgb> Colour; // none: taken from the palette in chart order
        bool Stairs;
    };
    constexpr Design designs[SeriesCount] = {
        {"Series1", "MAP", Rgb{255, 255, 255}, false}, {"Series2", "RPM", Rgb{255, 255, 0}, false},
        {"Series3", "PW", std::nullopt, false},        {"Series4", "O2", Rgb{0, 255, 0}, false},
        {"Series5", "TPS", Rgb{0, 0, 255}, false},     {"Series6", "", std::nullopt, true},
    };
    Rgb used[SeriesCount];
    std::size_t n = 0;
    for (const Design& d : designs) {
        if (d.Colour) {
            used[n++] = *d.Colour;
        }
    }
    std::array<TraceLook, SeriesCount> looks{};
    for (std::size_t i = 0; i < looks.size(); ++i) {
        const Design& d = designs[i];
        Rgb colour{128, 128, 128};
        if (d.Colour) {
            colour = *d.Colour;
        } else {
            const auto free = std::find_if(std::begin(Palette), std::end(Palette), [&](Rgb c) {
                return c != Background && c != BackWall && std::find(used, used + n, c) == used + n;
            });
            if (free != std::end(Palette)) {
                colour = *free;
            }
            used[n++] = colour;
        }
        looks[i] = {d.Name, d.Title, colour, d.Stairs};
    }
    return looks;
}

} // namespace

const std::array<TraceLook, SeriesCount>& Traces() {
    static const std::array<TraceLook, SeriesCount> looks = Resolve();
    return looks;
}

} // namespace vemor::chart
