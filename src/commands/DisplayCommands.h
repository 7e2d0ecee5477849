#pragma once

#include <cstdint>
#include <memory>

#include "commands/Command.h"

// "UD": switches the instrument's own display (kind 1) or sets its trend options (kind 4).
class CCmdUD : public CCommand {
  public:
    RzResult Execute() override;

    int32_t kind = 0;     // 1 switch the display, 4 trend options
    int32_t display = 0;  // kind 1: display code; kind 4: first option word ("ON,"/"OFF,")
    int32_t group = 0;    // kind 1: group number; kind 4: non-zero all channels, zero "GROUP,"
    int32_t option2 = 0;  // kind 4: scale display
    int32_t option3 = 0;  // kind 4: digital-value display
};

// "&4": selects the program pattern shown on the program display.
class CCmdAmp4 : public CCommand {
  public:
    RzResult Execute() override;

    int32_t pattern = 0;  // 1 to 30
};

// Largest screen image the instrument sends (the bytes of a PNG file).
constexpr uint32_t kImageBufferSize = kLargestAnswerSize;

// "FC GET": fetches the instrument's current screen as an image file.
//
// The answer is received into a buffer of this object, not into one shared by every
// connection, so two connections can fetch at the same time. It is copied into imageBuffer
// only when it is an image, so a failed fetch never disturbs the bytes of the last image.
//
// Both buffers are allocated by the first fetch (a connection that never fetches the screen
// holds neither), kept from then on, and never cleared: only the bytes of an answer are written
// and read, so a connection does not clear (and so touch) megabytes that a screen image of a few
// dozen kilobytes never reaches.
class CCmdFC : public CCommand {
  private:
    std::unique_ptr<uint8_t[]> imageStore_;
    // One byte more than the largest image for the terminator the link writes after it.
    std::unique_ptr<char[]> receiveStore_;

  public:
    // Points imageData at imageBuffer and clears imageLength, then binds as every command.
    RzResult Bind(CLinkTransport* link, const CInstrumentModel* identity) override;
    // LINK_E_NO_MEMORY, before anything is sent, when the first fetch cannot have its buffers.
    RzResult Query() override;

    uint8_t* imageBuffer = nullptr;  // kImageBufferSize bytes from the first fetch on; else null
    uint32_t imageLength = 0;        // valid bytes in imageBuffer; 0 when there is none
    const uint8_t* imageData = imageBuffer;  // start of imageBuffer (set again by Bind and Query)
    char errorLine[kErrorLineSize] = {};     // the instrument's line when it refused the query
};
