#include "SimScreen.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "SimProfile.h"

namespace {

// A recorder-like picture: a title bar, a grid with four trend curves and a strip of
// fine-grained marks, which keeps the file several blocks long.
std::string MakePng(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(16, 24, 48));
    const int title = height / 12;
    for (int y = 0; y < title; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(200, 200, 210));
        }
    }
    for (int y = title; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x % 20 == 0 || (y - title) % 20 == 0) {
                image.setPixel(x, y, qRgb(48, 64, 96));
            }
        }
    }
    const QRgb colors[] = {qRgb(255, 64, 64), qRgb(64, 255, 64), qRgb(64, 160, 255),
                           qRgb(255, 224, 64)};
    const int plot = height - title - 24;
    for (int c = 0; c < 4; ++c) {
        for (int x = 0; x < width; ++x) {
            // A triangle wave per curve, each with its own period and phase.
            const int period = 60 + 25 * c;
            const int phase = (x + 17 * c) % period;
            const int rise = phase < period / 2 ? phase : period - phase;
            const int y = title + 8 + (rise * (plot - 16)) / (period / 2);
            image.setPixel(x, y < height ? y : height - 1, colors[c]);
        }
    }
    uint32_t seed = 0x2545F491u;
    for (int y = height - 16; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, seed >> 8);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

}  // namespace

int SimScreenWidth(int model) {
    return SimIsSmallModel(model) ? 320 : 640;
}

int SimScreenHeight(int model) {
    return SimIsSmallModel(model) ? 240 : 480;
}

const std::string& SimPlaceholderPng(int model) {
    static const std::string small = MakePng(320, 240);
    static const std::string large = MakePng(640, 480);
    return SimIsSmallModel(model) ? small : large;
}
