// Test double of the error box: records every message instead of showing it, and echoes it
// to stderr so that death tests can match the text of a box shown just before exit(1).
#pragma once

#include <string>
#include <vector>

namespace Message_Box_Recorder
{
    struct Shown
    {
        std::string message;
        bool owned = false; // shown with an owner window
    };

    std::vector<Shown> shown(); // every box so far, oldest first
    void clear();
}
