#pragma once
// A window of its own that shows a recorded capture: the six traces of the live chart over
// the whole recording, a cursor that reads one frame as the live labels would show it, the
// capture's counts, and CSV export. Several may be open beside the live window. It lays out
// and paints what its model says; the model does the work. GUI thread.

#include "vemor/capture/Viewer.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QCPAbstractItem;
class QCPGraph;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QMenu;
class QMouseEvent;
class QProgressBar;
class QProgressDialog;
class QWheelEvent;

namespace vemor {

class TraceBars;

class CaptureViewer final : public QMainWindow {
    Q_OBJECT
public:
    // Opens a viewer for the file and starts loading it; what is not a capture is refused in
    // the error display and the viewer closes itself.
    // opener: the window it opens from, down and right of which it is placed.
    static CaptureViewer* Open(const QString& path, QWidget* opener = nullptr);
    // The file dialog in the working folder, captures first; opens what is chosen.
    static void OpenWithDialog(QWidget* parent);
    // Closes every viewer, at the end of the program.
    static void CloseAll();

    ~CaptureViewer() override;

    const QString& Path() const { return path_; }
    // Null until the capture is loaded.
    const decode::CaptureIndex* Index() const { return model_.Index(); }
    const decode::ViewerModel& Model() const { return model_; }
    QCustomPlot* Chart() const { return chart_; }
    decode::XUnit Unit() const { return model_.Unit(); }

    void SetUnit(decode::XUnit unit);
    void ShowAll();
    // Shows X from lo to hi, kept within the capture and at least a few frames wide.
    void ShowRange(double lo, double hi);
    void SetCursorFrame(std::uint64_t frame);
    std::optional<std::uint64_t> CursorFrame() const { return model_.CursorFrame(); }
    // Writes the CSV of the whole capture or of the frames in view, on a thread of its own.
    void ExportTo(const QString& path, bool visibleOnly);
    bool Exporting() const { return model_.Exporting(); }
    // Asked when the file changed while it was read; true loads it again. By default a
    // question box.
    std::function<bool(const QString& reason)> AskLoadAgain;

signals:
    void Loaded();
    void Exported(bool ok, const QString& message);

protected:
    explicit CaptureViewer(const QString& path);
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildWindow();
    void Poll();
    void StartLoading();
    void FinishLoading(const decode::ViewerModel::Event& event);
    void ShowSummary();
    // Shows what the model now says of the range and the cursor.
    void Apply();
    void Fill();
    double PlotX(const QPointF& at) const;
    void OnPress(QMouseEvent* event);
    void OnMove(QMouseEvent* event);
    void OnRelease(QMouseEvent* event);
    void OnWheel(QWheelEvent* event);
    void ShowReadout();
    void AskExport();
    void FinishExport(const decode::ViewerModel::Event& event);
    void ReadLocale();
    void ShowJournal(const decode::View& view);
    void ListMarks();
    void ShowMarkStatus(const std::string& text);
    void UseUnitTicks();
    void FollowFile();
    void Reload();
    void Play(void (*act)(decode::ViewerModel&, std::int64_t));

    QString path_;
    decode::ViewerModel model_;
    QCustomPlot* chart_ = nullptr;
    std::array<QCPGraph*, 6> traces_{};
    TraceBars* bars_ = nullptr; // the traces when zoomed out; owned by the chart
    QCPGraph* rejects_ = nullptr;
    QCPItemStraightLine* cursorLine_ = nullptr;
    std::array<QLabel*, 5> labels_{};
    QLabel* detail_ = nullptr;
    QLabel* summary_ = nullptr;
    QComboBox* unitChoice_ = nullptr;
    QAction* exportAction_ = nullptr;
    QMenu* marksMenu_ = nullptr;
    QList<QAction*> markActions_;          // one per mark, after the two steps
    QList<QCPAbstractItem*> journalItems_; // the spells and marks in view; owned by the chart
    QProgressBar* progressBar_ = nullptr;
    QProgressDialog* exportDialog_ = nullptr;
    QTimer poll_;
    QTimer play_;          // the playback's tick, while it plays
    QElapsedTimer steady_; // the playback's clock
    QTimer follow_;        // reads what a capture still recorded gained
    QLabel* speed_ = nullptr;

    bool dirty_ = true; // the graphs do not yet show the axis range
    int filledWidth_ = 0;
    QPoint pressedAt_;
};

} // namespace vemor
