#pragma once
#include <optional>

#include "showapp.h"
#include "showstate.h"

// What is set just before a part's first frame, in the order of the fields;
// whatever is left unset keeps what the previous part left.
struct PartStart {
    std::optional<bool> lighting;  // D3DRS_LIGHTING
    std::optional<float> lastStep;
    std::optional<float> flash;
    std::optional<float> sceneFade;
    std::optional<float> endFade;
    int fogScene = -1;  // the scene whose fog is applied through its camera 0; -1: none
};

// One part of the show: its frame, how it moves the levels between frames,
// and its start settings.
struct ShowPart {
    PartCallback frame;
    PartLevels levels;
    PartStart start;
};

constexpr int PART_COUNT = 6;
extern const ShowPart SHOW_PARTS[PART_COUNT];

void ApplyPartStart(ShowApp& app, const PartStart& start);
