#include "session/ModelLoader.h"

#include <cmath>
#include <cstring>

#include "commands/CommandSet.h"
#include "model/InstrumentModel.h"
#include "model/Naming.h"
#include "model/ValueFormat.h"

static_assert(kWholeValueTextSize == kChannelValueTextSize,
              "a channel's value text spans the three value fields");

namespace {

constexpr int32_t kLoopKindRetrans = 4;
constexpr int32_t kOutputTypeNone = 0;
constexpr int32_t kOutputTypeOnOff = 4;
constexpr int32_t kControllerNone = 0;
constexpr int32_t kControllerOther = 15;
constexpr int32_t kModeUndetermined = 3;
constexpr int32_t kStateUndetermined = 2;
constexpr int32_t kModuleAbsent = 7;

// A count from the model or an answer, limited to what an array holds.
int Limit(int32_t count, int capacity) {
    if (count < 0) {
        return 0;
    }
    return count < capacity ? count : capacity;
}

constexpr int Smaller(int a, int b) {
    return a < b ? a : b;
}

template <size_t N>
void SetText(char (&field)[N], const char* text) {
    CopyText(field, N, text);
}

template <size_t N>
void ClearText(char (&field)[N]) {
    field[0] = '\0';
}

CRawValue RawValue(const CDataRecord& record) {
    return {record.status, record.text2, record.text3};
}

void FormatChannel(ValueTarget target, const CDataRecord& record, bool exponentForm,
                   CChannelRecord& channel) {
    WholeValueText text;
    GetWholeValueText(channel.display, text);
    FormatValueItem(target, RawValue(record), exponentForm, text, kChannelValueTextSize, nullptr);
    SetWholeValueText(channel.display, text);
}

// One quantity of a loop; SP keeps its number and places, OUT its places, when printed as a
// number.
template <typename Loop>
void FormatLoopItem(ValueTarget target, const CDataRecord& record, int quantity, Loop& loop) {
    CValueNumber number{};
    const bool numeric =
        FormatValueItem(target, RawValue(record), false, loop.display.valueText[quantity],
                        sizeof(loop.display.valueText[quantity]), &number);
    if (!numeric) {
        return;
    }
    if (quantity == kQuantitySp) {
        loop.spValue = number.value;
        loop.spDecimals = number.decimals;
    } else if (quantity == kQuantityOut) {
        loop.outDecimals = number.decimals;
    }
}

// The unit beside a value, without its padding, and whether the value has an alarm raised: a
// letter in the alarm columns ("ALM"; blanks and fill characters are no mark).
void NoteMark(const CDataRecord& record, CValueMark& mark, int32_t& alarms) {
    StoreTrimmed(mark.unit, sizeof mark.unit, record.text1);
    mark.alarm = 0;
    for (const char* c = record.marks; *c != '\0'; ++c) {
        // An ASCII letter, whatever the locale: the instrument's marks are ASCII.
        const auto lower = static_cast<unsigned char>(static_cast<unsigned char>(*c) | 0x20);
        mark.alarm |= lower >= 'a' && lower <= 'z' ? 1 : 0;
    }
    alarms += mark.alarm;
}

void StoreTag(char (&tag)[kNameSize], const char* received, int32_t number) {
    if (!StoreTrimmed(tag, sizeof(tag), received)) {
        FormatDefaultTag(number, tag, sizeof(tag));
    }
}

bool HasController(const CExternalLoopRecord& loop) {
    return loop.inUse != 0 && loop.controllerModel != kControllerNone &&
           loop.controllerModel != kControllerOther;
}

void ApplyDioState(const CDioPointState& state, CDioRecord& point) {
    CDisplayBlock& display = point.display;
    point.present = state.flagA;
    if (state.flagA == 0) {
        point.moduleKind = kModuleAbsent;
        ClearText(display.valueText[0]);
        ClearText(display.valueText[2]);
        SetText(display.typeText, ModuleKindText(kModuleAbsent));
        ClearText(display.modeText);
        return;
    }
    point.moduleKind = state.moduleKind;
    ClearText(display.modeText);
    ClearText(display.typeText);
    for (auto& text : display.valueText) {
        ClearText(text);
    }
    SetText(display.modeText, DioModeText(state.flagS));
    bool showInput = false;
    bool showOutput = false;
    switch (state.moduleKind) {
        case 0:
            showInput = true;
            ClearText(display.modeText);  // an input module has no operation mode
            break;
        case 1:
        case 2:
        case 5:
            showOutput = true;
            break;
        case 3:
        case 4:
        case 6:
            showInput = true;
            showOutput = true;
            break;
        default:
            break;
    }
    SetText(display.typeText, ModuleKindText(state.moduleKind));
    if (showInput) {
        FormatDioState(state.flagD, display.valueText[0], sizeof(display.valueText[0]));
    }
    if (showOutput) {
        FormatDioState(state.flagE, display.valueText[2], sizeof(display.valueText[2]));
    }
    point.modeCode = state.flagS;
    point.inputState = state.flagD;
}

}  // namespace

CModelLoader::CModelLoader(CCommandSet& commands, CInstrumentModel& model)
    : commands_(commands), model_(model) {}

RzResult CModelLoader::LoadLoginInfo() {
    CCmdFU* fu = commands_.Get<CCmdFU>();
    if (fu == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fu->Query();
    if (result != RZ_OK) {
        return result;
    }
    model_.userCode[0] = fu->code[0];
    model_.userCode[1] = '\0';
    model_.accessLevel[0] = fu->level[0];
    model_.accessLevel[1] = '\0';
    SetText(model_.userName, fu->userName);
    return RZ_OK;
}

RzResult CModelLoader::LoadRunStatus() {
    CCmdIF* filter = commands_.Get<CCmdIF>();
    CCmdIS* is = commands_.Get<CCmdIS>();
    if (filter == nullptr || is == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    RzResult result = filter->Execute();
    if (result != RZ_OK) {
        return result;
    }
    result = is->Query();
    if (result != RZ_OK) {
        return result;
    }
    model_.memoryRunning = is->statusA != 0 ? 1 : 0;
    model_.mathRunning = is->statusB != 0 ? 1 : 0;
    return RZ_OK;
}

RzResult CModelLoader::LoadDisplayGroups() {
    CCmdSX* sx = commands_.Get<CCmdSX>();
    if (sx == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = sx->Query();
    if (result != RZ_OK) {
        return result;
    }
    constexpr int kGroups = Smaller(kMaxDisplayGroups, kQueryDisplayGroups);
    constexpr int kMembers = Smaller(kGroupMembers, kQueryGroupChannels);
    const int groups = Limit(model_.displayGroupCount, kGroups);
    for (int g = 0; g < groups; ++g) {
        CDisplayGroup& group = model_.displayGroups[g];
        SetText(group.name, sx->groupName[g]);
        for (int m = 0; m < kMembers; ++m) {
            const int32_t number = sx->groupChannels[g][m];
            group.members[m] = {DisplayMemberKind(number), number};
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadTags() {
    CCmdST* st = commands_.Get<CCmdST>();
    if (st == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = st->Query();
    if (result != RZ_OK) {
        return result;
    }
    for (int i = 0; i < kChannels; ++i) {
        StoreTag(model_.channels[i].display.tag[0], st->channelTag[i], i + 1);
    }
    for (int i = 0; i < 3 * kInternalLoops; ++i) {
        StoreTag(model_.internalLoops[i / 3].display.tag[i % 3], st->loopTag[i], 101 + i);
    }
    for (int i = 0; i < 3 * kExternalLoops; ++i) {
        StoreTag(model_.externalLoops[i / 3].display.tag[i % 3], st->extLoopTag[i], 201 + i);
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadInputTypes() {
    CCmdSR* sr = commands_.Get<CCmdSR>();
    if (sr == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = sr->Query();
    if (result != RZ_OK) {
        return result;
    }
    for (int i = 0; i < Smaller(kMeasChannels, kQueryMeasChannels); ++i) {
        model_.inputTypes[i] = sr->inputType[i];
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadValues() {
    CCmdFD* fd = commands_.Get<CCmdFD>();
    if (fd == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fd->Query();
    if (result != RZ_OK) {
        return result;
    }
    // The answer's last indexes are -1 for an empty list. An empty channel list keeps the
    // channel count of the previous answer; an empty loop list means no loops.
    model_.loopCount = fd->loopCount >= 0 ? Limit(fd->loopCount / 3 + 1, kInternalLoops) : 0;
    model_.extLoopCount = fd->extCount >= 0 ? Limit(fd->extCount / 3 + 1, kExternalLoops) : 0;
    if (fd->measCount >= 0) {
        model_.measCount = Limit(fd->measCount + 1, kMeasChannels);
    }
    if (fd->mathCount >= 0) {
        model_.mathCount = Limit(fd->mathCount + 1, kMathChannels);
    }
    SetText(model_.dataDate, fd->date);
    SetText(model_.dataTime, fd->time);
    // The marks tell of this answer alone: a value it does not carry has no unit and no alarm.
    std::memset(model_.channelMarks, 0, sizeof model_.channelMarks);
    std::memset(model_.loopMarks, 0, sizeof model_.loopMarks);
    std::memset(model_.extLoopMarks, 0, sizeof model_.extLoopMarks);
    model_.alarmsRaised = 0;

    const int measItems = Limit(fd->measCount + 1, Smaller(kMeasChannels, kDataMeasRecords));
    for (int i = 0; i < measItems; ++i) {
        FormatChannel(ValueTarget::kMeasurement, fd->measRecords[i],
                      model_.inputTypes[i] == kInputTypeLog, model_.channels[i]);
        NoteMark(fd->measRecords[i], model_.channelMarks[i], model_.alarmsRaised);
    }
    const int mathItems = Limit(fd->mathCount + 1, Smaller(kMathChannels, kDataMathRecords));
    for (int i = 0; i < mathItems; ++i) {
        FormatChannel(ValueTarget::kMath, fd->mathRecords[i], false,
                      model_.channels[kMeasChannels + i]);
        NoteMark(fd->mathRecords[i], model_.channelMarks[kMeasChannels + i], model_.alarmsRaised);
    }
    const int loopItems = Limit(fd->loopCount + 1, Smaller(3 * kInternalLoops, kDataLoopRecords));
    const int extItems = Limit(fd->extCount + 1, Smaller(3 * kExternalLoops, kDataExtRecords));
    // PV of every loop, then SP, then OUT; internal loops before external ones.
    for (int quantity = kQuantityPv; quantity <= kQuantityOut; ++quantity) {
        for (int k = quantity; k < loopItems; k += 3) {
            CInternalLoopRecord& loop = model_.internalLoops[k / 3];
            FormatLoopItem(ValueTarget::kInternalLoop, fd->loopRecords[k], quantity, loop);
            NoteMark(fd->loopRecords[k], model_.loopMarks[k], model_.alarmsRaised);
            if (quantity == kQuantityOut && loop.loopKind == 0) {
                ClearText(loop.display.valueText[kQuantityOut]);  // a loop of no kind has no OUT
            }
        }
        const ValueTarget target =
            quantity == kQuantityPv ? ValueTarget::kExternalPv : ValueTarget::kExternalSetOut;
        for (int k = quantity; k < extItems; k += 3) {
            FormatLoopItem(target, fd->extRecords[k], quantity, model_.externalLoops[k / 3]);
            NoteMark(fd->extRecords[k], model_.extLoopMarks[k], model_.alarmsRaised);
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadControlGroupNames() {
    CCmdFG* fg = commands_.Get<CCmdFG>();
    if (fg == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fg->Query();
    if (result != RZ_OK) {
        return result;
    }
    for (int g = 0; g < Smaller(kMaxControlGroups, kQueryControlGroups); ++g) {
        SetText(model_.controlGroups[g].name, fg->groupName[g]);
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadControlGroupMembers() {
    CCmdGG* gg = commands_.Get<CCmdGG>();
    if (gg == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = gg->Query();
    if (result != RZ_OK) {
        return result;
    }
    constexpr int kMembers = Smaller(kGroupMembers, kQueryControlMembers);
    const int groups =
        Limit(model_.controlGroupCount, Smaller(kMaxControlGroups, kQueryControlGroups));
    for (int g = 0; g < groups; ++g) {
        for (int m = 0; m < kMembers; ++m) {
            model_.controlGroups[g].members[m] = {gg->memberKind[g][m], gg->memberNumber[g][m]};
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadLoopNames() {
    CCmdHM* hm = commands_.Get<CCmdHM>();
    if (hm == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = hm->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.loopCount, Smaller(kInternalLoops, kQueryLoops));
    for (int j = 0; j < loops; ++j) {
        auto& name = model_.internalLoops[j].display.name;
        if (!StoreTrimmed(name, sizeof(name), hm->loopName[j])) {
            FormatInternalLoopName(j + 1, name, sizeof(name));
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadLoopKinds() {
    CCmdPC* pc = commands_.Get<CCmdPC>();
    if (pc == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = pc->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.loopCount, Smaller(kInternalLoops, kQueryLoops));
    for (int j = 0; j < loops; ++j) {
        model_.internalLoops[j].loopKind = pc->loopKind[j];
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadRetransRanges() {
    CCmdMT* mt = commands_.Get<CCmdMT>();
    if (mt == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = mt->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.loopCount, Smaller(kInternalLoops, kQueryLoops));
    for (int j = 0; j < loops; ++j) {
        CInternalLoopRecord& loop = model_.internalLoops[j];
        loop.retrans = mt->retrans[j];
        if (loop.retrans != 0 && loop.loopKind == kLoopKindRetrans) {
            const int32_t decimals = mt->spanDecimals[j];
            const double scale = std::pow(10.0, -static_cast<double>(decimals));
            loop.outDecimals = decimals;
            loop.outLow = mt->spanLow[j] * scale;
            loop.outHigh = mt->spanHigh[j] * scale;
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadLoopModes() {
    CCmdFM* fm = commands_.Get<CCmdFM>();
    if (fm == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const int loops = Limit(model_.loopCount, kInternalLoops);
    for (int j = 0; j < loops; ++j) {
        CInternalLoopRecord& loop = model_.internalLoops[j];
        if (loop.loopKind == 0) {
            ClearText(loop.display.modeText);
            continue;
        }
        fm->loop = j + 1;
        const RzResult result = fm->Query();
        if (result != RZ_OK) {
            return result;
        }
        loop.modeCode = fm->state2;
        loop.remote = fm->state1;
        loop.run = fm->state0;
        loop.bit7 = fm->bit7;
        loop.operable = loop.modeCode != kModeUndetermined ? 1 : 0;
        SetText(loop.display.modeText, InternalLoopModeText(loop.modeCode));
        // A Retrans loop without retransmission has no mode to show.
        if (loop.loopKind == kLoopKindRetrans && loop.retrans == 0) {
            ClearText(loop.display.modeText);
        }
    }
    return RZ_OK;
}

void CModelLoader::SetOldFirmwareLoopDefaults() {
    const int loops = Limit(model_.loopCount, kInternalLoops);
    for (int j = 0; j < loops; ++j) {
        CInternalLoopRecord& loop = model_.internalLoops[j];
        loop.modeCode = kModeUndetermined;
        loop.remote = kStateUndetermined;
        loop.run = kStateUndetermined;
        loop.bit7 = 0;
        loop.operable = 1;
        ClearText(loop.display.modeText);
    }
}

RzResult CModelLoader::LoadExtLoops() {
    CCmdGJ* gj = commands_.Get<CCmdGJ>();
    if (gj == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = gj->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.extLoopCount, Smaller(kExternalLoops, kQueryExtLoops));
    for (int j = 0; j < loops; ++j) {
        CExternalLoopRecord& loop = model_.externalLoops[j];
        loop.inUse = gj->used[j];
        loop.controllerModel = gj->model[j];
        if (!StoreTrimmed(loop.display.name, sizeof(loop.display.name), gj->name[j])) {
            FormatExternalLoopName(j + 1, loop.display.name, sizeof(loop.display.name));
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadExtLoopModes() {
    CCmdDR* dr = commands_.Get<CCmdDR>();
    if (dr == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const int loops = Limit(model_.extLoopCount, kExternalLoops);
    for (int j = 0; j < loops; ++j) {
        CExternalLoopRecord& loop = model_.externalLoops[j];
        if (!HasController(loop)) {
            ClearText(loop.display.modeText);
            continue;
        }
        dr->loop = j + 1;
        const RzResult result = dr->Query();
        if (result != RZ_OK) {
            return result;
        }
        loop.modeCode = dr->state2;
        loop.remote = dr->state1;
        loop.run = dr->state0;
        SetText(loop.display.modeText, ExternalLoopModeText(loop.modeCode));
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadDioNames() {
    CCmdDY* dy = commands_.Get<CCmdDY>();
    if (dy == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = dy->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int points = Limit(model_.dioCount, Smaller(kDioPoints, kQueryPoints));
    for (int p = 0; p < points; ++p) {
        auto& name = model_.dio[p].display.name;
        StoreTrimmed(name, sizeof(name), dy->pointText1[p]);
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadDioKinds() {
    CCmdDX* dx = commands_.Get<CCmdDX>();
    if (dx == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = dx->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int points = Limit(model_.dioCount, Smaller(kDioPoints, kQueryPoints));
    for (int p = 0; p < points; ++p) {
        auto& name = model_.dio[p].display.name;
        TrimTrailingBlanks(name);
        // A name from the instrument stays, whatever the module; only nameless points
        // that the instrument reports present get one.
        if (dx->present[p] != 0 && name[0] == '\0') {
            FormatDioDefaultName(dx->text[p], dx->module[p], dx->value[p], name, sizeof(name));
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadDioStatus() {
    CCmdFO* fo = commands_.Get<CCmdFO>();
    if (fo == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fo->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int points = Limit(model_.dioCount, Smaller(kDioPoints, kDioStatePoints));
    for (int p = 0; p < points; ++p) {
        ApplyDioState(fo->points[p], model_.dio[p]);
    }
    // A count beyond the records leaves points unprocessed; the DI/DO data is then not valid.
    return points == model_.dioCount ? RZ_OK : LINK_E_GENERAL;
}

RzResult CModelLoader::LoadPatternStates() {
    if (model_.firmwareMajor < 3) {
        return RZ_OK;
    }
    CCmdFW* fw = commands_.Get<CCmdFW>();
    if (fw == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fw->Query();
    if (result != RZ_OK) {
        return result;
    }
    int32_t oldStates[kPatterns];
    for (int i = 0; i < kPatterns; ++i) {
        CPatternRecord& record = model_.patterns[i];
        oldStates[i] = record.state;
        record.state = record.exists != 0 ? 1 : 0;
    }
    const int entries = Limit(fw->patternCount, kPatternEntries);
    for (int e = 0; e < entries; ++e) {
        const CPatternEntry& entry = fw->patterns[e];
        if (entry.pattern < 1 || entry.pattern > kPatterns) {
            continue;
        }
        CPatternRecord& record = model_.patterns[entry.pattern - 1];
        if (entry.bit1 != 0) {
            record.state = 3;
        } else if (entry.bit2 != 0) {
            record.state = 4;
        } else if (entry.bit0 != 0) {
            record.state = 2;
        } else {
            record.state = 1;
            continue;
        }
        record.exists = 1;
    }
    for (int i = 0; i < kPatterns; ++i) {
        if (model_.patterns[i].state != oldStates[i]) {
            model_.patterns[i].changed = 1;
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadPatternState(int32_t pattern, int32_t record) {
    if (record == 0) {
        record = pattern;
    }
    if (record < 1 || record > kPatterns || pattern < 0 || pattern > kPatterns) {
        return LINK_E_GENERAL;
    }
    CCmdFH* fh = commands_.Get<CCmdFH>();
    if (fh == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    fh->pattern = pattern;
    const RzResult result = fh->Query();
    if (result != RZ_OK) {
        return result;
    }
    CPatternRecord& target = model_.patterns[record - 1];
    target.exists = 1;
    if (fh->bit0 == 0) {
        target.state = 1;
    } else if (fh->bit1 != 0) {
        target.state = 3;
    } else if (fh->bit2 != 0) {
        target.state = 4;
    } else {
        target.state = 2;
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadOutputTypes() {
    CCmdGF* gf = commands_.Get<CCmdGF>();
    if (gf == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = gf->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.loopCount, Smaller(kInternalLoops, kQueryLoops));
    for (int j = 0; j < loops; ++j) {
        model_.internalLoops[j].outputType = gf->outputType[j];
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadOutputRanges() {
    CCmdHO* ho = commands_.Get<CCmdHO>();
    if (ho == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = ho->Query();
    if (result != RZ_OK) {
        return result;
    }
    const int loops = Limit(model_.loopCount, Smaller(kInternalLoops, kQueryLoops));
    for (int j = 0; j < loops; ++j) {
        CInternalLoopRecord& loop = model_.internalLoops[j];
        if (loop.loopKind == kLoopKindRetrans) {
            continue;
        }
        loop.outDecimals = 1;
        // The limits in force are those of the PID number the answer reported last for the
        // loop; a loop the answer does not mention has the full output range.
        const int32_t pid = ho->lastPid[j];
        if (loop.outputType == kOutputTypeNone || loop.outputType == kOutputTypeOnOff || pid < 1 ||
            pid > kQueryPidSets) {
            loop.outLow = 0.0;
            loop.outHigh = 100.0;
        } else {
            loop.outLow = ho->outputLow[j][pid - 1] * 0.1;
            loop.outHigh = ho->outputHigh[j][pid - 1] * 0.1;
        }
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadExtOutputRanges() {
    CCmdDQ* dq = commands_.Get<CCmdDQ>();
    CCmdDT* dt = commands_.Get<CCmdDT>();
    if (dq == nullptr || dt == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const int loops = Limit(model_.extLoopCount, Smaller(kExternalLoops, kDtLoops));
    for (int j = 0; j < loops; ++j) {
        CExternalLoopRecord& loop = model_.externalLoops[j];
        if (!HasController(loop)) {
            continue;
        }
        dq->loop = j + 1;
        RzResult result = dq->Query();
        if (result != RZ_OK) {
            return result;
        }
        // Limits exist for set point numbers 1 to 8 only; another number has none to ask for.
        const int32_t setPoint = dq->setPointNumber;
        if (setPoint < 1 || setPoint > kDtSetPoints) {
            continue;
        }
        dt->loop = j + 1;
        dt->pidNumber = setPoint;
        result = dt->Query();
        if (result != RZ_OK) {
            return result;
        }
        const double scale = std::pow(10.0, -static_cast<double>(loop.outDecimals));
        loop.outLow = dt->outputLow[j][setPoint - 1] * scale;
        loop.outHigh = dt->outputHigh[j][setPoint - 1] * scale;
    }
    return RZ_OK;
}

RzResult CModelLoader::LoadScreenImage() {
    CCmdFC* fc = commands_.Get<CCmdFC>();
    if (fc == nullptr) {
        return LINK_E_UNSUPPORTED;
    }
    const RzResult result = fc->Query();
    if (result != RZ_OK) {
        return result;
    }
    model_.imageData = fc->imageData;
    model_.imageLength = fc->imageLength;
    return RZ_OK;
}

void CModelLoader::ApplyDefaultNames() {
    WriteTypeTexts(model_);
}
