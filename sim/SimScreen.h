#pragma once

#include <cstddef>
#include <string>

class CSimInstrument;
class CRzImage;

// Largest payload per binary block of the screen image.
inline constexpr size_t kSimImageBlockBytes = 4096;

// The block payload a screen image of `size` bytes is sent with: at most kSimImageBlockBytes,
// and small enough that any image above 2 KB spans four blocks or more, as the instrument's
// own images do.
size_t SimImageBlockBytes(size_t size);

// The screen image with the plant off: a fixed PNG at the model's screen size (320 x 240 for
// the smaller model, 640 x 480 otherwise), made once per size.
const std::string& SimPlaceholderPng(int model);
int SimScreenWidth(int model);
int SimScreenHeight(int model);

// What the display shows now ("UD" display and group, trend options, the program display's
// pattern, the plant step, the count of accepted operations): two instrument states with the
// same key draw the same screen.
std::string SimScreenKey(const CSimInstrument& instrument);

// Draws the display the instrument shows into `image` at the model's screen size. Text uses a
// built-in pixel font, so drawing needs no font files and no GUI application object and is
// identical on every machine. False when the image cannot be sized.
bool SimRenderScreen(const CSimInstrument& instrument, CRzImage& image);

// SimRenderScreen encoded as PNG; empty when drawing or encoding fails.
std::string SimRenderScreenPng(const CSimInstrument& instrument);
