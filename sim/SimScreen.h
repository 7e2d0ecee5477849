#pragma once

#include <cstddef>
#include <string>

// Payload bytes per binary block of the screen image.
inline constexpr size_t kSimImageBlockBytes = 4096;

// The screen image "FC GET" sends: a fixed PNG at the model's screen size (320 x 240 for the
// smaller model, 640 x 480 otherwise), made once per size.
const std::string& SimPlaceholderPng(int model);
int SimScreenWidth(int model);
int SimScreenHeight(int model);
