// The GAML codes of detectors and beam splitters and the spectral-header
// codes they stand for. The GAML import (headerimport.cpp) translates GAML
// codes into header codes with these tables; the GAML writer component
// translates header codes back into the GAML codes that give them.
#pragma once
#include <cstdint>
#include <utility>

namespace gamlcodes {

// What a GAML code that is not in a table becomes.
constexpr uint32_t kUnknownDetector = 20000;
constexpr uint32_t kUnknownBeamSplitter = 30;

constexpr std::pair<int32_t, uint32_t> kDetectorCodes[] = {
    {1, 1},   {2, 3},   {3, 5},   {4, 4},   {5, 7},   {6, 8},   {7, 9},   {8, 10},  {9, 11},  {10, 12},
    {11, 13}, {12, 14}, {13, 15}, {16, 16}, {17, 17}, {18, 18}, {20, 20}, {21, 21}, {33, 33}, {34, 34},
    {35, 35}, {36, 36}, {37, 37}, {38, 38}, {39, 39}, {40, 40}, {41, 19}, {42, 42},
};
constexpr std::pair<int32_t, uint32_t> kBeamSplitterCodes[] = {
    {1, 0}, {2, 1}, {3, 2}, {4, 4}, {5, 5}, {6, 7}, {7, 8}, {8, 10}, {9, 20}, {10, 21}, {11, 22}, {12, 23},
    {13, 24}, {14, 25},
};

}  // namespace gamlcodes
