#pragma once

#include <QWidget>
#include <cstdint>

#include "session/ConnectionManager.h"
#include "ui/CommandTarget.h"
#include "views/ViewContext.h"

class CImageWindow;

// The main window's client pane while logged in: the instrument's screen and the operation
// panels side by side, and the handler of the display, image and instrument function commands.
// Made by the connection manager's view factory for one connection and destroyed with it.
class CRZView : public QWidget, public ICommandTarget, public IConnectionView {
    Q_OBJECT
  public:
    // Which panels are shown (panelFlags).
    static constexpr uint32_t kImageShown = 1;
    static constexpr uint32_t kSimpleShown = 2;
    static constexpr uint32_t kLoopShown = 4;
    static constexpr uint32_t kProgramShown = 16;

    explicit CRZView(const CViewContext& context, QWidget* parent = nullptr);
    ~CRZView() override;

    // Lays the panels out for the instrument's access level and publishes the display state;
    // call once the view has been placed in the main window.
    void InitialUpdate();

    CommandState StateOf(int commandId) const override;
    void Run(int commandId) override;
    uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(this); }

    uint32_t PanelFlags() const { return panelFlags_; }
    CImageWindow* ImageWindow() const { return image_; }
    QWidget* SimplePanel() const { return simple_; }
    QWidget* LoopPanel() const { return loop_; }
    QWidget* ProgramPanel() const { return program_; }

  signals:
    // The image window was shown (true) or hidden: the main window shows or hides its control
    // bars, keeping the view's size.
    void ImageShownChanged(bool shown);
    // The view resized itself by this much; the main window grows or shrinks with it.
    void SizeChanged(int widthChange, int heightChange);

  private:
    CViewContext context_;
    uint32_t panelFlags_ = 0;
    CImageWindow* image_ = nullptr;
    QWidget* program_ = nullptr;
    QWidget* loop_ = nullptr;
    QWidget* simple_ = nullptr;
};
