#include "session/ViewState.h"

namespace {

template <class Record>
void ApplyLoopEdits(const CLoopEdits& edits, Record& record) {
    record.spEdited = edits.spEdited;
    record.outEdited = edits.outEdited;
    record.outValue = edits.outValue;
}

}  // namespace

void ApplyViewState(const CViewState& state, CInstrumentModel* model) {
    model->displayKind = state.displayKind;
    model->displayGroup = state.displayGroup;
    model->simplePage = state.simplePage;
    model->selectedPattern = state.selectedPattern;
    model->controlStyle = state.controlStyle;
    model->trendOptions = state.trendOptions;
    model->measurePage = state.measurePage;
    for (int i = 0; i < kInternalLoops; ++i) {
        ApplyLoopEdits(state.internalLoops[i], model->internalLoops[i]);
    }
    for (int i = 0; i < kExternalLoops; ++i) {
        ApplyLoopEdits(state.externalLoops[i], model->externalLoops[i]);
    }
    for (int i = 0; i < kDioPoints; ++i) {
        model->dio[i].outEdited = state.dio[i].outEdited;
        model->dio[i].outValue = state.dio[i].outValue;
    }
}
