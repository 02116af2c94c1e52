#pragma once

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chapters/chapter_model.h"
#include "chapters/title_loader.h"
#include "output/format_engine.h"
#include "output/video/video_keyframes.h"

class QAction;
class QKeyEvent;
class QLabel;
class QMimeData;
class QLineEdit;
class QMenu;

namespace Ui {
class TMainForm;
}

namespace pelvano {
class Application;
class Report;
}  // namespace pelvano

namespace pelvano::gui {

class CellListModel;
class FormDialogs;
class TFormAbout;

// The main window. It holds what the user sees and the title being worked
// on, and each handler hands the work to the core. Member, handler and
// control names follow the program's own vocabulary so that code, tests and
// documentation read alike.
class TMainForm : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kAppTitle = "Pelvano";

    // `app` knows where the read-me and the presets file are. `arguments` is
    // the command line after the program name, 8-bit as typed; with one, the
    // first names the source to load: an IFO file, a folder, an image or a
    // drive (the caller has checked it exists).
    TMainForm(FormDialogs& dialogs, const Application& app, const std::vector<std::string>& arguments,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // The About box made at start-up; without one, neither the splash nor
    // the About button shows anything.
    void setAboutBox(TFormAbout* box);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs one handler; an error that leaves it is shown once, here, and
    // the window carries on with its state as it stands.
    template <typename Body>
    void Handle(Body&& body);
    void ShowError(const QString& message);
    void ShowMessage(const QString& message);
    void Connect();
    void FitTheScreen();

    // Title loading.
    void bttOpenIFOClick();
    void cbTitleChange();
    void LoadTitle(bool newFile, std::optional<int> pgc = std::nullopt);
    void ShowLoad(const LoadResult& result);

    // Whole discs: any source opens here (dialog, drop, command line); a
    // disc lists its title sets in cbTitleSet, shown only for more than one.
    void OpenSource(const std::string& path);
    void ShowReading(bool reading);
    void SourceRead(SourceOpening opening);
    void ShowTitleSets();
    bool ListsDiscTitles() const;
    void ShowTitleChoice();
    void cbTitleSetChange();
    static std::optional<QString> DroppedFile(const QMimeData* data);
    bool DropEvent(QEvent* event);
    void ShowReport(const Report& report);
    void ShowDocumentLabels();
    void SetFrameRateText(const std::string& rate);

    // Chapter and timestamp marks.
    void RebuildChapters();
    void RebuildTimestamps();
    void MarkSelectedCells(const std::string& mark, bool checked);
    void lstCellsMouseUp(const QPoint& viewportPos);
    void pmLstCellsPopup();
    void Useintimestamp1Click();
    void Dontuseintimestamp1Click();
    void Check1Click();
    void Uncheck1Click();

    // Output and timing fields.
    void RenderChapters();
    void RefreshOutput();
    void FormatFieldsEdited();
    void PageControl1Change();
    void cbFrameRateChange();
    void cbFrameRateExit();
    bool edFrameOffKeyPress(const QKeyEvent& event);
    void edFrameOffExit(QLineEdit* field);

    // AVI key frames.
    void bttOpenAVIClick();

    // Chapter names.
    void bttChapterNamesClick();
    void FitChapterNamesButton();
    void KeepNamesOnlyFor(int titleSet, int pgc);
    void cbSynchKFClick();

    // About box.
    void FormActivate();
    void bttHelpAboutClick();

    // Presets.
    void LoadPresets();
    void SavePresets();
    void cbPresetsChange();
    void cbPresetsPick();
    bool cbPresetsKeyDown(const QKeyEvent& event);
    void bttModifPresetNameClick();
    void bttSavePresetFormatClick();
    void chkExactNTSCClick();
    bool InRenameMode() const;
    void FinishRename();
    void LeaveRenameMode();

    // Saving and ending.
    void bttSaveDataClick();
    void bttQuitClick();
    void FormDestroy();

    std::unique_ptr<Ui::TMainForm> ui;
    FormDialogs& dialogs_;
    const Application& app_;
    // The key frames of the video file in edAVIFileName, kept between renderings.
    KeyFrameIndexCache keyFrameIndex_;
    QPointer<TFormAbout> FormAbout;
    QMenu* pmLstCells = nullptr;
    QAction* N1 = nullptr;
    CellListModel* cellModel_ = nullptr;
    QLabel* lbStartHint = nullptr;  // over CustomMemo until a title is loaded

    ChapterDocument document_;      // cell rows, title model, footer texts
    std::string ifoPath;            // the source as given
    std::optional<Source> source_;  // what ifoPath holds; empty until it has been read
    int titleSet_ = 0;              // the title set loaded
    int playlist_ = -1;             // the playlist loaded, of a Blu-ray source
    // Own names of the chapters, UTF-8; kept while the same title set and
    // program chain (or playlist) stay loaded from the same reading of the source.
    std::vector<std::string> chapterNames_;
    std::pair<int, int> namesOwner_{-1, -1};  // title set (or playlist), program chain
    std::string nameTemplate_;                // NameTemplate
    bool reading_ = false;                    // a source is being read
    QStringList presetFormats;
    QStringList presetHeaders;
    QStringList presetFooters;
    int32_t frameRateMilli = 0;
    // The error of a rate still being typed, shown when the field is left.
    std::optional<QString> heldRateError_;
    // Renders the Format page once typing in edFormat, edHeader or edFooter pauses.
    QTimer formatEditTimer_;
    int renameIndex = -1;  // the preset being renamed, in rename mode
    bool hasArguments_ = false;

    // SaveDialog1's memory for the rest of the run.
    QString lastSavePath_;
    int lastSaveFilter_ = 0;

    bool activationQueued_ = false;
    bool splashShowing_ = false;

    bool destroyed_ = false;
};

}  // namespace pelvano::gui
