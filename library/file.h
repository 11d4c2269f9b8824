// One node of the music library: a folder or a FLAC track, linked to its parent and, for a
// folder, to its entries. Nodes live on the heap behind shared pointers and are told apart
// by address.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/text.h"

namespace Corvane
{
    class File
    {
    public:
        enum Type : int32_t
        {
            FOLDER = 0,
            TRACK = 1,
        };

        std::string name; // as listed, extension included, no path; empty for the root
        Type type = FOLDER;
        std::shared_ptr<File> parent;                // the folder holding this node; null at the root only
        std::vector<std::shared_ptr<File>> children; // sub-folders, then tracks; empty for a track
        Kestrane::Text label;                        // the browser's text for this entry; empty until drawn
    };

    // Any thread. The node's path relative to the working directory, '/' between names: ""
    // for the root, "Jazz/" for a folder, "Jazz/Live/01 Intro.flac" for a track.
    std::string full_path(std::shared_ptr<File> file);

    // Any thread. The name shown for the node: a track's name before its last '.' (its
    // extension; the whole name when it has no '.'), a folder's whole name. Folder names
    // carry no extension: "Vol. 1" and "Vol. 2" must not both read "Vol".
    std::string display_name(const File& file);

    // Any thread. The chain of nodes from the root down to `file`, both included.
    std::vector<std::shared_ptr<File>> lineage(std::shared_ptr<File> file);

    // The tree keeps itself alive (parents hold children, children hold parents). This cuts
    // every folder's link to its children beneath `root`, so that each node goes as soon as
    // nothing else holds it; a node still held keeps its chain of parents. Any depth.
    void release_tree(std::shared_ptr<File> root);
}
