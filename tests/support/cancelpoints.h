#pragma once

// Where in a batch of two files the upload and the download tests press
// Cancel: at once, with the first file under way, at its last chunk, and
// between the two files. Each test's cancel_data() makes a row of each.
enum CancelAt
{
    AtZero,
    MidFile,
    LastChunk,
    BetweenFiles,
};

struct CancelPoint
{
    const char* row;
    CancelAt when;
};

inline constexpr CancelPoint kCancelPoints[] = {
    {"at 0 %", AtZero},
    {"mid-file", MidFile},
    {"last chunk", LastChunk},
    {"between files", BetweenFiles},
};
