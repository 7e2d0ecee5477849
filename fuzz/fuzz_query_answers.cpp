// Feeds arbitrary bytes as the answer to one query. The first byte picks the query (low five
// bits), the model class (bit 5) and a parameter variant (bits 6 and 7); the rest is the answer
// exactly as a link would hand it over. Every parse must stay inside its buffers and leave
// every result text terminated and every count inside its table.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "commands/DataQueries.h"
#include "commands/SettingQueries.h"
#include "model/InstrumentModel.h"
#include "transport/LinkTransport.h"

namespace {

// Answers the next Receive with the given bytes, as the socket link does: the answer and a
// NUL after it, LINK_E_BUFFER_SMALL when it exceeds the caller's capacity, LINK_E_SEND when
// empty, and a time-out for any further Receive.
class ScriptedLink : public CLinkTransport {
  public:
    void Load(const char* bytes, size_t length) {
        bytes_ = bytes;
        length_ = length;
        delivered_ = false;
    }
    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char*, uint32_t) override { return RZ_OK; }
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape) override {
        if (delivered_) {
            return RzError(LINK_E_TIMEOUT);
        }
        delivered_ = true;
        if (length_ == 0) {
            return RzError(LINK_E_SEND);
        }
        if (length_ > capacity) {
            return RzError(LINK_E_BUFFER_SMALL);
        }
        std::memcpy(buffer, bytes_, length_);
        buffer[length_] = '\0';
        return static_cast<uint32_t>(length_);
    }
    RzResult SetTimeout(uint32_t) override { return RZ_OK; }
    uint32_t GetTimeout() const override { return kDefaultLinkTimeoutMs; }

  private:
    const char* bytes_ = nullptr;
    size_t length_ = 0;
    bool delivered_ = false;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <size_t N>
void CheckText(const char (&text)[N]) {
    Check(std::memchr(text, '\0', N) != nullptr);
}

template <size_t Rows, size_t N>
void CheckTexts(const char (&texts)[Rows][N]) {
    for (const auto& text : texts) {
        CheckText(text);
    }
}

void CheckRecord(const CDataRecord& record) {
    CheckText(record.status);
    CheckText(record.number);
    CheckText(record.text1);
    CheckText(record.text2);
    CheckText(record.text3);
}

// One object of every query, reused across inputs as a connection reuses them.
struct Queries {
    CCmdFU fu;
    CCmdIF inf;
    CCmdIS is;
    CCmdSX sx;
    CCmdST st;
    CCmdSR sr;
    CCmdFG fg;
    CCmdHM hm;
    CCmdGJ gj;
    CCmdDX dx;
    CCmdDY dy;
    CCmdGG gg;
    CCmdFM fm;
    CCmdDR dr;
    CCmdFP fp;
    CCmdDQ dq;
    CCmdPC pc;
    CCmdMY my;
    CCmdMT mt;
    CCmdGF gf;
    CCmdHO ho;
    CCmdGV gv;
    CCmdFD fd;
    CCmdFO fo;
    CCmdFW fw;
    CCmdFH fh;
    CCmdFL fl;
};

constexpr int kQueryCount = 27;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Queries* queries = new Queries();
    static CInstrumentModel* model = new CInstrumentModel();
    static ScriptedLink link;
    if (size < 1) {
        return 0;
    }
    const uint8_t selector = data[0];
    const int which = (selector & 0x1F) % kQueryCount;
    const int variant = selector >> 6;
    model->modelClass = (selector & 0x20) != 0 ? 3200 : 3100;
    link.Load(reinterpret_cast<const char*>(data + 1), size - 1);

    Queries& q = *queries;
    CCommand* commands[kQueryCount] = {&q.fu, &q.inf, &q.is, &q.sx, &q.st, &q.sr, &q.fg,
                                       &q.hm, &q.gj,  &q.dx, &q.dy, &q.gg, &q.fm, &q.dr,
                                       &q.fp, &q.dq,  &q.pc, &q.my, &q.mt, &q.gf, &q.ho,
                                       &q.gv, &q.fd,  &q.fo, &q.fw, &q.fh, &q.fl};
    CCommand* command = commands[which];
    command->Bind(&link, model);
    const int32_t loops[] = {1, 6, 16, 0};
    q.fm.loop = q.dr.loop = q.fp.loop = q.dq.loop = loops[variant];
    q.fh.pattern = variant * 10;
    q.fl.kind = variant * 2 + 1;
    q.fl.count = variant * 60;
    if (command == &q.inf) {
        command->Execute();
    } else {
        command->Query();
    }

    CheckText(q.fu.code);
    CheckText(q.fu.level);
    CheckText(q.fu.userName);
    CheckTexts(q.sx.groupName);
    CheckTexts(q.st.channelTag);
    CheckTexts(q.st.loopTag);
    CheckTexts(q.st.extLoopTag);
    CheckTexts(q.fg.groupName);
    CheckTexts(q.hm.loopName);
    CheckTexts(q.hm.loopText);
    CheckTexts(q.gj.name);
    CheckTexts(q.gj.tag);
    CheckTexts(q.dx.text);
    CheckTexts(q.dy.pointText1);
    CheckTexts(q.dy.pointText2);
    CheckText(q.fd.date);
    CheckText(q.fd.time);
    Check(q.fd.measCount >= -1 && q.fd.measCount < kDataMeasRecords);
    Check(q.fd.mathCount >= -1 && q.fd.mathCount < kDataMathRecords);
    Check(q.fd.loopCount >= -1 && q.fd.loopCount < kDataLoopRecords);
    Check(q.fd.extCount >= -1 && q.fd.extCount < kDataExtRecords);
    for (const CDataRecord& record : q.fd.measRecords) {
        CheckRecord(record);
    }
    for (const CDataRecord& record : q.fd.mathRecords) {
        CheckRecord(record);
    }
    Check(q.fw.patternCount >= 0 && q.fw.patternCount <= kPatternEntries);
    for (const CDioPointState& point : q.fo.points) {
        Check(point.moduleKind >= 0 && point.moduleKind <= 7);
    }
    CheckText(q.fl.logText);
    Check(std::strlen(q.fl.logText) < kLogTextSize);
    return 0;
}
