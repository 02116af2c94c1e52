#include "main_form.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProxyStyle>
#include <QScreen>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

#include "app/application.h"
#include "base/error.h"
#include "base/format.h"
#include "byte_text.h"
#include "cell_list_model.h"
#include "chapter_names_dialog.h"
#include "chapters/playlist_loader.h"
#include "chapters/report.h"
#include "chapters/title_loader.h"
#include "form_about.h"
#include "form_dialogs.h"
#include "io/text_file.h"
#include "output/timing_rules.h"
#include "output/video/video_keyframes.h"
#include "presets/preset_store.h"
#include "ui_main_form.h"

// Q_INIT_RESOURCE must be used outside any namespace; the resources live in
// a static library, where nothing else would pull them in.
static void InitPelvanoResources()
{
    Q_INIT_RESOURCE(pelvano);
}

namespace pelvano::gui {

namespace {

constexpr int kToolTipDelayMs = 100;
constexpr int kToolTipShowMs = 30000;
constexpr int kFontPointSize = 8;
// How long typing in the preset fields pauses before the Format page follows.
constexpr int kFormatEditDelayMs = 300;

// Qt's list form: the dialog offers each entry, the first selected.
// A disc folder opens through its VIDEO_TS.IFO or index.bdmv: a file dialog
// only steps into folders.
const QString kIfoFilter =
    QStringLiteral("DVD IFO File (*.IFO);;DVD disc folder (VIDEO_TS.IFO);;Blu-ray playlist (*.mpls);;"
                   "Blu-ray disc folder (index.bdmv);;Disc image (*.iso);;All files (*)");
// Every kind at once first, then each kind.
const QString kVideoFilter = QStringLiteral(
    "All videos (*.avi *.mkv *.webm *.mp4 *.m4v *.mov);;AVI Video File (*.AVI);;"
    "Matroska Video File (*.mkv *.webm);;MP4/MOV Video File (*.mp4 *.m4v *.mov);;All files (*)");
const QStringList kSaveFilters = {QStringLiteral("Text file (*.txt)"), QStringLiteral("DVDMaestro (*.chp)"),
                                  QStringLiteral("INI File (*.ini)")};

enum Page { RawDataPage = 0, CustomizePage = 1, FormatPage = 2, ReadmePage = 3 };

ByteText& Texts()
{
    static ByteText texts;
    return texts;
}

QString L(const std::string& bytes)
{
    return Texts().toWidget(bytes);
}

std::string L8(const QString& text)
{
    return Texts().toBytes(text);
}

// Qt's text widgets break lines with LF; the core's texts use CR LF.
QString ToWidgetText(std::string bytes)
{
    size_t out = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != '\r' || i + 1 >= bytes.size() || bytes[i + 1] != '\n')
            bytes[out++] = bytes[i];
    bytes.resize(out);
    return L(bytes);
}

// What a text view shows, as saved: every line ended by CR LF, the last
// one too, also when it was typed by hand.
std::string SavedText(const QTextDocument& document)
{
    std::string text = L8(ShownText(document));
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    return ToCrLf(text);
}

// The hint timing the window asks of the application: hints come up fast
// and stay long enough to read the format placeholders.
class HintTimingStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return kToolTipDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Set before the widgets are made: a style set afterwards polishes every
// widget a second time.
void UseHintTimingStyle()
{
    if (!dynamic_cast<HintTimingStyle*>(QApplication::style()))
        QApplication::setStyle(new HintTimingStyle(QApplication::style()->name()));
}

void ApplyHintTiming(QWidget& window)
{
    UseHintTimingStyle();
    window.setToolTipDuration(kToolTipShowMs);
    for (QWidget* child : window.findChildren<QWidget*>())
        child->setToolTipDuration(kToolTipShowMs);
}

// An icon of the resources, read as the PNG it is: an icon made from a file
// name asks every image plugin whether it reads the file, which loads them
// all at start. The @2x picture is added on high-density screens only, as
// QIcon::addFile does.
QIcon PngIcon(const char* name)
{
    QIcon icon;
    const bool dense = qApp->devicePixelRatio() > 1.0;
    for (const char* suffix : {".png", "@2x.png"}) {
        const bool doubled = suffix[0] == '@';
        if (doubled && !dense)
            break;
        QImageReader reader(QStringLiteral(":/icons/") + QLatin1StringView(name) + QLatin1StringView(suffix),
                            "png");
        reader.setAutoDetectImageFormat(false);
        QImage image = reader.read();
        if (image.isNull())
            continue;
        image.setDevicePixelRatio(doubled ? 2.0 : 1.0);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

void SetIcons(Ui::TMainForm& ui, QWidget& window)
{
    window.setWindowIcon(PngIcon("pelvano"));
    const std::pair<QAbstractButton*, const char*> buttons[] = {{ui.bttModifPresetName, "rename"},
                                                                {ui.bttSavePresetFormat, "save_preset"},
                                                                {ui.bttOpenIFO, "open"},
                                                                {ui.bttSaveData, "save"},
                                                                {ui.bttOpenAVI, "open_avi"},
                                                                {ui.bttHelpAbout, "about"},
                                                                {ui.bttQuit, "quit"}};
    for (const auto& [button, name] : buttons)
        button->setIcon(PngIcon(name));
    ui.bttChapterNames->setIcon(PngIcon("names"));  // shown where its words do not fit
}

// Confirming a file in a dialog makes its folder the working directory.
void EnterFolderOf(const QString& file)
{
    EnterFolder(L8(QFileInfo(file).absolutePath()));
}

}  // namespace

TMainForm::TMainForm(FormDialogs& dialogs, const Application& app, const std::vector<std::string>& arguments,
                     QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TMainForm>()),
      dialogs_(dialogs),
      app_(app)
{
    InitPelvanoResources();
    UseHintTimingStyle();
    // The window's font before its widgets: set afterwards, it would reach
    // every widget made with the default one and make each measure again.
    QFont font = QApplication::font();
    font.setPointSize(kFontPointSize);
    setFont(font);
    ui->setupUi(this);
    SetIcons(*ui, *this);

    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(kFontPointSize);
    ui->Memo1->setFont(fixed);
    ui->ReadmeMemo->setFont(fixed);
    QPalette menuColoured = ui->edAVIFileName->palette();
    menuColoured.setColor(QPalette::Base, menuColoured.color(QPalette::Window));
    ui->edAVIFileName->setPalette(menuColoured);

    // The field shows exactly the rate that is rendered and saved: typing
    // "3" must not show a completed "30000".
    ui->cbFrameRate->setCompleter(nullptr);

    cellModel_ = new CellListModel(document_, this);
    ui->lstCells->setModel(cellModel_);
    ui->lstCells->fitColumns();
    pmLstCells = new QMenu(this);
    pmLstCells->setObjectName(QStringLiteral("pmLstCells"));
    pmLstCells->addAction(ui->Useintimestamp1);
    pmLstCells->addAction(ui->Dontuseintimestamp1);
    N1 = pmLstCells->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    pmLstCells->addAction(ui->Check1);
    pmLstCells->addAction(ui->Uncheck1);

    // Until a title is loaded, the Format page says how to begin; clicks and
    // drops go through the hint to the text below.
    lbStartHint = new QLabel(QStringLiteral("Open a disc, an image or an IFO file, or drop one here"),
                             ui->CustomMemo->viewport());
    lbStartHint->setObjectName(QStringLiteral("lbStartHint"));
    lbStartHint->setAlignment(Qt::AlignCenter);
    lbStartHint->setWordWrap(true);
    lbStartHint->setForegroundRole(QPalette::PlaceholderText);
    lbStartHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    (new QVBoxLayout(ui->CustomMemo->viewport()))->addWidget(lbStartHint);
    connect(cellModel_, &QAbstractItemModel::modelReset, lbStartHint,
            [this] { lbStartHint->setHidden(cellModel_->rowCount() > 0); });

    ui->PageControl1->setCurrentIndex(FormatPage);
    ui->CustomMemo->setFocus();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    setWindowTitle(QString::fromLatin1(kAppTitle));
    ApplyHintTiming(*this);

    QFile readme(L(app_.readmePath()));
    if (readme.open(QIODevice::ReadOnly))
        ui->ReadmeMemo->setPlainText(ToWidgetText(readme.readAll().toStdString()));
    else
        ui->ReadmeMemo->setPlainText(QStringLiteral("Can't find Readme.txt"));

    LoadPresets();
    ui->cbPresets->setCurrentIndex(0);
    cbPresetsChange();

    Connect();

    // A file or folder dropped anywhere on the window opens, also over the
    // text fields that would otherwise take it as text.
    setAcceptDrops(true);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child->acceptDrops())
            child->installEventFilter(this);
    }

    hasArguments_ = !arguments.empty();
    if (hasArguments_) {
        app_.enterAppDir();
        OpenSource(arguments.front());
    }
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

template <typename Body>
void TMainForm::Handle(Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

void TMainForm::ShowError(const QString& message)
{
    dialogs_.showError(this, QString::fromLatin1(kAppTitle), ErrorMessageText(message));
}

void TMainForm::ShowMessage(const QString& message)
{
    dialogs_.showMessage(this, QString::fromLatin1(kAppTitle), message);
}

void TMainForm::Connect()
{
    const auto on = [this](void (TMainForm::*handler)()) {
        return [this, handler] { Handle([this, handler] { (this->*handler)(); }); };
    };
    connect(ui->bttOpenIFO, &QToolButton::clicked, this, on(&TMainForm::bttOpenIFOClick));
    connect(ui->cbTitle, &QComboBox::activated, this, on(&TMainForm::cbTitleChange));
    connect(ui->cbTitleSet, &QComboBox::activated, this, on(&TMainForm::cbTitleSetChange));
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, on(&TMainForm::PageControl1Change));
    connect(ui->cbFrameRate, &QComboBox::activated, this, on(&TMainForm::cbFrameRateChange));
    connect(ui->cbFrameRate->lineEdit(), &QLineEdit::textEdited, this, on(&TMainForm::cbFrameRateChange));
    connect(ui->bttOpenAVI, &QToolButton::clicked, this, on(&TMainForm::bttOpenAVIClick));
    connect(ui->bttChapterNames, &QToolButton::clicked, this, on(&TMainForm::bttChapterNamesClick));
    connect(ui->cbSynchKF, &QCheckBox::clicked, this, on(&TMainForm::cbSynchKFClick));
    connect(ui->bttSaveData, &QToolButton::clicked, this, on(&TMainForm::bttSaveDataClick));
    connect(ui->bttHelpAbout, &QToolButton::clicked, this, on(&TMainForm::bttHelpAboutClick));
    connect(ui->bttQuit, &QToolButton::clicked, this, on(&TMainForm::bttQuitClick));
    connect(ui->cbPresets, &QComboBox::activated, this, on(&TMainForm::cbPresetsPick));
    connect(ui->bttModifPresetName, &QToolButton::clicked, this, on(&TMainForm::bttModifPresetNameClick));
    connect(ui->bttSavePresetFormat, &QToolButton::clicked, this, on(&TMainForm::bttSavePresetFormatClick));
    connect(ui->chkExactNTSC, &QCheckBox::clicked, this, on(&TMainForm::chkExactNTSCClick));
    formatEditTimer_.setSingleShot(true);
    formatEditTimer_.setInterval(kFormatEditDelayMs);
    connect(&formatEditTimer_, &QTimer::timeout, this, on(&TMainForm::FormatFieldsEdited));
    for (QLineEdit* field : {ui->edFormat, ui->edHeader, ui->edFooter})
        connect(field, &QLineEdit::textEdited, &formatEditTimer_, qOverload<>(&QTimer::start));

    connect(ui->lstCells, &CellListView::mouseReleased, this,
            [this](const QPoint& pos) { Handle([this, pos] { lstCellsMouseUp(pos); }); });
    connect(ui->lstCells, &CellListView::popupRequested, this,
            [this](const QPoint& pos) { pmLstCells->popup(ui->lstCells->viewport()->mapToGlobal(pos)); });
    connect(pmLstCells, &QMenu::aboutToShow, this, on(&TMainForm::pmLstCellsPopup));
    connect(ui->Useintimestamp1, &QAction::triggered, this, on(&TMainForm::Useintimestamp1Click));
    connect(ui->Dontuseintimestamp1, &QAction::triggered, this, on(&TMainForm::Dontuseintimestamp1Click));
    connect(ui->Check1, &QAction::triggered, this, on(&TMainForm::Check1Click));
    connect(ui->Uncheck1, &QAction::triggered, this, on(&TMainForm::Uncheck1Click));

    for (QObject* watched :
         std::initializer_list<QObject*>{ui->edFrameOff, ui->edMsOff, ui->cbFrameRate, ui->cbPresets})
        watched->installEventFilter(this);
}

bool TMainForm::event(QEvent* event)
{
    if (DropEvent(event))
        return true;
    if (event->type() == QEvent::Resize)
        FitChapterNamesButton();
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show && !event->spontaneous())
        FitTheScreen();
    // The splash waits until the activation has been delivered everywhere:
    // a modal loop opened inside it would see the activation half done.
    if (event->type() == QEvent::WindowActivate && SplashPending() && FormAbout && !activationQueued_) {
        activationQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                activationQueued_ = false;
                Handle([this] { FormActivate(); });
            },
            Qt::QueuedConnection);
    }
    return handled;
}

// Inside the screen's free area, frame included, whatever its scale factor:
// made smaller if need be, then moved in.
void TMainForm::FitTheScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    resize(size().boundedTo(room.size() - (frameGeometry().size() - size())));
    const QRect frame = frameGeometry();
    move(std::clamp(frame.x(), room.left(), std::max(room.left(), room.right() + 1 - frame.width())),
         std::clamp(frame.y(), room.top(), std::max(room.top(), room.bottom() + 1 - frame.height())));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (DropEvent(event))
        return true;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        bool consumed = false;
        if (watched == ui->edFrameOff || watched == ui->edMsOff || watched == ui->cbFrameRate)
            Handle([&] { consumed = edFrameOffKeyPress(key); });
        else if (watched == ui->cbPresets)
            Handle([&] { consumed = cbPresetsKeyDown(key); });
        if (consumed)
            return true;
        break;
    }
    case QEvent::FocusOut: {
        // A drop-down list opening or another window coming to the front
        // is no leaving of the field.
        const Qt::FocusReason reason = static_cast<const QFocusEvent&>(*event).reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            break;
        if (watched == ui->edFrameOff || watched == ui->edMsOff)
            Handle([&] { edFrameOffExit(static_cast<QLineEdit*>(watched)); });
        else if (watched == ui->cbFrameRate)
            Handle([this] { cbFrameRateExit(); });
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// --- Title loading ----------------------------------------------------------

void TMainForm::bttOpenIFOClick()
{
    const std::optional<QString> file = dialogs_.openFile(this, kIfoFilter);
    if (!file)
        return;
    EnterFolderOf(*file);
    OpenSource(L8(*file));
}

void TMainForm::cbTitleChange()
{
    LoadTitle(false);
}

void TMainForm::OpenSource(const std::string& path)
{
    if (reading_)
        return;
    ifoPath = path;
    setWindowTitle(QString::fromLatin1(kAppTitle) + QStringLiteral(" - ") + L(ifoPath));
    source_.reset();
    titleSet_ = 0;
    playlist_ = -1;
    KeepNamesOnlyFor(-1, -1);
    // A disc may take long to read (a drive spinning up, an image on a
    // network share): it is read on a thread of its own while the window
    // stays live, and nothing else is read meanwhile. A relative path can only
    // come from the command line, where it names a file beside the executable.
    ShowReading(true);
    auto opening = std::make_shared<SourceOpening>();
    QThread* reader = QThread::create([opening, path, folder = app_.appDir()] {
        *opening = OpenForLoad(path, false, path.front() == '/' ? std::string() : folder);
    });
    connect(reader, &QThread::finished, this, [this, opening] {
        ShowReading(false);
        Handle([this, &opening] { SourceRead(std::move(*opening)); });
    });
    // A window closed meanwhile leaves the reading to end on its own.
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    reader->start();
}

void TMainForm::ShowReading(bool reading)
{
    reading_ = reading;
    ui->bttOpenIFO->setEnabled(!reading);
    ui->cbTitleSet->setEnabled(!reading);
    if (reading)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TMainForm::SourceRead(SourceOpening opening)
{
    source_ = std::move(opening.source);
    titleSet_ = source_ ? source_->defaultTitleSet() : 0;
    playlist_ = source_ ? source_->defaultPlaylist() : -1;
    ShowTitleSets();
    if (source_)
        LoadTitle(true);
    else
        ShowLoad(opening.failure);
}

namespace {

QString HoursToSeconds(uint32_t ms)
{
    return QStringLiteral("%1:%2:%3")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

bool TMainForm::ListsDiscTitles() const
{
    return source_ && source_->titles().size() > 1;
}

// The list beside "Title": the disc's titles as every other tool numbers
// them, when its VIDEO_TS.IFO gives them; else its title sets; a Blu-ray's
// playlists as a listing shows them, with "Title" (nothing to choose in a
// playlist) disabled. Shown only when there is a choice.
void TMainForm::ShowTitleSets()
{
    ui->cbTitleSet->clear();
    const bool playlists = source_ && source_->isBluray();
    const bool titles = ListsDiscTitles();
    ui->Label3->setEnabled(!playlists);
    ui->cbTitle->setEnabled(!playlists);
    cellModel_->setPlaylistColumns(playlists);
    if (playlists) {
        for (const PlaylistSummary* p : source_->listedPlaylists())
            ui->cbTitleSet->addItem(QStringLiteral("%1 \u00b7 %2 \u00b7 %3 chapters")
                                        .arg(p->number, 5, 10, QLatin1Char('0'))
                                        .arg(HoursToSeconds(p->lengthMs))
                                        .arg(p->chapters),
                                    p->number);
        ui->lbTitleSet->setText(QStringLiteral("Playlist :"));
        ui->cbTitleSet->setToolTip(
            QStringLiteral("playlists of the disc, with their length and chapters; those that repeat "
                           "another's play items and those under 10 s are left out"));
    } else if (titles) {
        for (const TitleSummary& title : source_->titles())
            ui->cbTitleSet->addItem(QStringLiteral("Title %1 \u00b7 VTS %2 \u00b7 %3")
                                        .arg(title.number)
                                        .arg(title.titleSet)
                                        .arg(HoursToSeconds(title.lengthMs)),
                                    title.number);
        ui->lbTitleSet->setText(QStringLiteral("Disc title :"));
        ui->cbTitleSet->setToolTip(QStringLiteral("titles of the disc, numbered as players and other tools "
                                                  "number them, with their title set and length"));
    } else if (source_) {
        for (const TitleSetSummary& set : source_->titleSets()) {
            const uint32_t ms =
                set.longestPgc >= 0 ? set.pgcs[static_cast<size_t>(set.longestPgc)].lengthMs : 0;
            ui->cbTitleSet->addItem(
                QStringLiteral("VTS %1 \u00b7 %2").arg(set.number).arg(HoursToSeconds(ms)), set.number);
        }
        ui->lbTitleSet->setText(QStringLiteral("Title set :"));
        ui->cbTitleSet->setToolTip(QStringLiteral("title sets of the disc, with the length of their longest "
                                                  "program chain"));
    }
    const bool several = ui->cbTitleSet->count() > 1;
    ui->lbTitleSet->setVisible(several);
    ui->cbTitleSet->setVisible(several);
    if (several) {
        // The entries whole, and the window wide enough for the longer row.
        ui->cbTitleSet->setMinimumWidth(ui->cbTitleSet->sizeHint().width());
        const int wanted = ui->bottomRow1->sizeHint().width() + layout()->contentsMargins().left() +
                           layout()->contentsMargins().right();
        if (width() < wanted) {
            resize(wanted, height());
            FitTheScreen();
        }
    }
}

void TMainForm::cbTitleSetChange()
{
    const QVariant number = ui->cbTitleSet->currentData();
    if (!source_ || !number.isValid())
        return;
    if (source_->isBluray()) {
        playlist_ = number.toInt();
        LoadTitle(true);
        return;
    }
    if (const TitleSummary* title = ListsDiscTitles() ? source_->title(number.toInt()) : nullptr) {
        titleSet_ = title->titleSet;
        LoadTitle(false, title->pgc - 1);
        return;
    }
    titleSet_ = number.toInt();
    LoadTitle(true);
}

// The list beside "Title" shows what is loaded: the title set, or the disc
// title that starts in the program chain loaded (none when no title does).
void TMainForm::ShowTitleChoice()
{
    int data = source_ && source_->isBluray() ? playlist_ : titleSet_;
    if (ListsDiscTitles()) {
        data = 0;
        for (const TitleSummary& title : source_->titles())
            if (title.titleSet == titleSet_ && title.pgc == ui->cbTitle->currentIndex() + 1) {
                data = title.number;
                break;
            }
    }
    ui->cbTitleSet->setCurrentIndex(ui->cbTitleSet->findData(data));
}

std::optional<QString> TMainForm::DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().front().isLocalFile())
        return std::nullopt;
    return data->urls().front().toLocalFile();
}

// Drag and drop of a local file or folder: accepted anywhere on the window,
// opened as "Open IFO" would open it.
bool TMainForm::DropEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!DroppedFile(drag->mimeData()))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> file = DroppedFile(drop->mimeData());
        if (!file)
            return false;
        if (reading_) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        Handle([this, &file] { OpenSource(L8(*file)); });
        return true;
    }
    default:
        return false;
    }
}

void TMainForm::LoadTitle(bool newFile, std::optional<int> pgc)
{
    if (!source_)
        return;
    LoadRequest request;
    request.newFile = newFile;
    request.currentTitle = pgc.value_or(ui->cbTitle->currentIndex());
    request.fixLastChapter = ui->chkFixLCB->isChecked();
    request.exactNtsc = ui->chkExactNTSC->isChecked();
    ShowLoad(source_->isBluray() ? LoadPlaylist(*source_, playlist_, request)
                                 : pelvano::LoadTitle(*source_, titleSet_, request));
    ShowTitleChoice();
}

void TMainForm::ShowLoad(const LoadResult& result)
{
    // A playlist owns its names as a title set's program chain does.
    KeepNamesOnlyFor(source_ && source_->isBluray() ? playlist_ : titleSet_,
                     result.model ? result.selectedTitle : -1);
    ShowReport(result.report);
    cellModel_->beginReplaceRows();
    ApplyLoad(document_, result);
    cellModel_->endReplaceRows();
    ui->lstCells->fitColumns();
    if (result.titles) {
        ui->cbTitle->clear();
        for (const std::string& title : *result.titles)
            ui->cbTitle->addItem(L(title));
        ui->cbTitle->setCurrentIndex(result.selectedTitle);
    }
    if (result.frameRate)
        SetFrameRateText(*result.frameRate);
    ShowDocumentLabels();
    if (result.model) {
        if (ui->PageControl1->currentIndex() != RawDataPage || hasArguments_) {
            RefreshOutput();
        } else {
            ui->Memo1->setFocus();
            QTextCursor end = ui->Memo1->textCursor();
            end.movePosition(QTextCursor::End);
            ui->Memo1->setTextCursor(end);
        }
    }
    if (result.failure) {
        // Nothing of the source before stays to be saved as this one's.
        ui->cbTitle->clear();
        RenderChapters();
        ui->bttOpenAVI->setEnabled(false);
    } else if (result.model)
        ui->bttOpenAVI->setEnabled(true);
    ui->bttChapterNames->setEnabled(result.model.has_value());
}

void TMainForm::ShowReport(const Report& report)
{
    ui->Memo1->clear();
    QTextCursor cursor(ui->Memo1->document());
    QTextCharFormat normal;
    normal.setForeground(ui->Memo1->palette().color(QPalette::Text));
    for (const ReportLine& line : report.lines()) {
        QTextCharFormat format = normal;
        if (line.style == LineStyle::Bold)
            format.setFontWeight(QFont::Bold);
        else if (line.style == LineStyle::Red)
            format.setForeground(QColor(255, 0, 0));
        cursor.insertText(ToWidgetText(line.text) + QLatin1Char('\n'), format);
    }
    ui->Memo1->moveCursor(QTextCursor::Start);
}

// Set from code, not typed: no change notification, so no rendering here.
void TMainForm::SetFrameRateText(const std::string& rate)
{
    const QString text = L(rate);
    const int item = ui->cbFrameRate->findText(text);
    if (item >= 0)
        ui->cbFrameRate->setCurrentIndex(item);
    ui->cbFrameRate->setEditText(text);
}

void TMainForm::ShowDocumentLabels()
{
    ui->lbLstTimeLen->setText(L(document_.timeLength));
    ui->lbLstNbsChapter->setText(L(document_.chapterTotal));
}

// --- Chapter and timestamp marks ---------------------------------------------

void TMainForm::RebuildChapters()
{
    pelvano::RebuildChapters(document_);
    cellModel_->rowsRewritten();
    ui->lstCells->fitColumns();
    ShowDocumentLabels();
}

void TMainForm::RebuildTimestamps()
{
    pelvano::RebuildTimestamps(document_);
    cellModel_->rowsRewritten();
    ui->lstCells->fitColumns();
    ShowDocumentLabels();
}

void TMainForm::MarkSelectedCells(const std::string& mark, bool checked)
{
    pelvano::MarkSelectedCells(document_, ui->lstCells->selectedRowNumbers(), mark, checked);
    cellModel_->rowsRewritten();
}

void TMainForm::lstCellsMouseUp(const QPoint& viewportPos)
{
    if (ui->lstCells->isOnCheckBox(viewportPos))
        RebuildChapters();
}

void TMainForm::pmLstCellsPopup()
{
    const bool any = !ui->lstCells->selectedRowNumbers().empty();
    for (QAction* command : {ui->Useintimestamp1, ui->Dontuseintimestamp1, ui->Check1, ui->Uncheck1})
        command->setEnabled(any);
}

void TMainForm::Useintimestamp1Click()
{
    MarkSelectedCells("x", false);
    RebuildTimestamps();
}

void TMainForm::Dontuseintimestamp1Click()
{
    MarkSelectedCells(CellRow::kUnusedMark, false);
    RebuildTimestamps();
}

void TMainForm::Check1Click()
{
    MarkSelectedCells("0", true);
    RebuildChapters();
}

void TMainForm::Uncheck1Click()
{
    MarkSelectedCells("0", false);
    RebuildChapters();
}

// --- Output and timing fields ------------------------------------------------

void TMainForm::RenderChapters()
{
    // Whatever was held back while the user typed is now moot.
    formatEditTimer_.stop();
    heldRateError_.reset();
    // Snapping is on exactly while "Synch 2 KF" is enabled and checked. The
    // file is named by edAVIFileName alone and read first; its index is read
    // afresh unless the file is still the one read last. One that can't be
    // used has its message shown, and the output stays as it was.
    std::unique_ptr<KeyFrameSource> keyFrames;
    if (ui->cbSynchKF->isEnabled() && ui->cbSynchKF->isChecked()) {
        try {
            keyFrames = keyFrameIndex_.keyFrames(L8(ui->edAVIFileName->text()));
        } catch (const Error& e) {
            ShowMessage(QString::fromLocal8Bit(e.what()));
            return;
        }
    }
    RenderInput input;
    input.format = L8(ui->edFormat->text());
    input.header = L8(ui->edHeader->text());
    input.footer = L8(ui->edFooter->text());
    input.frameRate = L8(ui->cbFrameRate->currentText());
    input.frameOffset = L8(ui->edFrameOff->text());
    input.msOffset = L8(ui->edMsOff->text());
    input.nameTemplate = nameTemplate_;
    input.names = chapterNames_;
    KeyFrameOpener snap;
    if (keyFrames)
        snap = [&keyFrames] { return std::move(keyFrames); };
    const RenderOutput output = pelvano::RenderChapters(document_.model, input, snap);
    frameRateMilli = output.frameRateMilli;
    ui->CustomMemo->setPlainText(ToWidgetText(output.text));
}

void TMainForm::RefreshOutput()
{
    switch (ui->PageControl1->currentIndex()) {
    case RawDataPage:
        ui->bttSaveData->setEnabled(true);
        break;
    case CustomizePage:
        ui->lstCells->relayout();
        ui->bttSaveData->setEnabled(false);
        break;
    case FormatPage:
        ui->bttSaveData->setEnabled(true);
        RenderChapters();
        break;
    case ReadmePage:
        ui->bttSaveData->setEnabled(false);
        break;
    default:
        break;
    }
}

// The preset fields are on the Format page; it follows them while it shows,
// and renders them anyway when shown again.
void TMainForm::FormatFieldsEdited()
{
    if (ui->PageControl1->currentIndex() == FormatPage)
        RenderChapters();
}

void TMainForm::PageControl1Change()
{
    RefreshOutput();
}

void TMainForm::cbFrameRateChange()
{
    // A rate being typed that does not render yet ("", "-") leaves the
    // output as it is; its message waits for Enter or for the field to be left.
    try {
        RefreshOutput();
    } catch (const Error& e) {
        heldRateError_ = QString::fromLocal8Bit(e.what());
    }
}

void TMainForm::cbFrameRateExit()
{
    // Shown once the focus has moved on: a modal box amid the move would
    // take the focus that is on its way to another field.
    if (heldRateError_)
        QMetaObject::invokeMethod(
            this, [this, message = *std::exchange(heldRateError_, std::nullopt)] { ShowError(message); },
            Qt::QueuedConnection);
    const QString repaired = L(RepairFrameRate(L8(ui->cbFrameRate->currentText())));
    if (repaired != ui->cbFrameRate->currentText())
        ui->cbFrameRate->setEditText(repaired);
}

bool TMainForm::edFrameOffKeyPress(const QKeyEvent& event)
{
    // Only typed characters are judged: moving keys, Delete, focus keys and
    // Ctrl shortcuts (copy, paste, undo) are commands, not characters.
    if (event.text().isEmpty() || event.key() == Qt::Key_Delete || event.key() == Qt::Key_Tab ||
        event.key() == Qt::Key_Backtab || (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    bool refresh = false;
    for (const char32_t c : event.text().toUcs4()) {
        switch (FilterTimingKey(c)) {
        case KeyAction::Discard:
            return true;
        case KeyAction::AcceptAndRefresh:
            refresh = true;
            break;
        case KeyAction::Accept:
            break;
        }
    }
    if (refresh)
        Handle([this] { RefreshOutput(); });
    return false;
}

void TMainForm::edFrameOffExit(QLineEdit* field)
{
    const QString repaired = L(RepairOffset(L8(field->text())));
    if (repaired != field->text())
        field->setText(repaired);
}

// --- Video key frames -----------------------------------------------------------

void TMainForm::bttOpenAVIClick()
{
    const std::optional<QString> file = dialogs_.openFile(this, kVideoFilter);
    if (!file)
        return;
    EnterFolderOf(*file);
    ui->edAVIFileName->setText(*file);
    try {
        if (const std::optional<std::string> rate = keyFrameIndex_.openVideo(L8(*file)))
            SetFrameRateText(*rate);
        ui->cbSynchKF->setEnabled(true);
    } catch (const Error& e) {
        // The check mark stays: a later good file brings snapping back.
        ShowMessage(QString::fromLocal8Bit(e.what()));
        ui->cbSynchKF->setEnabled(false);
    }
    RefreshOutput();
}

void TMainForm::cbSynchKFClick()
{
    RefreshOutput();
}

// --- Chapter names -------------------------------------------------------------

void TMainForm::KeepNamesOnlyFor(int titleSet, int pgc)
{
    if (namesOwner_ == std::pair(titleSet, pgc))
        return;
    chapterNames_.clear();
    namesOwner_ = {titleSet, pgc};
}

// "Chapter names..." in words where the bottom row has room for them, else
// its picture alone: the smallest window keeps every other control whole.
void TMainForm::FitChapterNamesButton()
{
    QToolButton* button = ui->bttChapterNames;
    const Qt::ToolButtonStyle before = button->toolButtonStyle();
    const int room = width() - layout()->contentsMargins().left() - layout()->contentsMargins().right();
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ui->bottomRow2->invalidate();
    if (ui->bottomRow2->minimumSize().width() > room)
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The row has been placed for this size already: place it again now.
    if (button->toolButtonStyle() != before)
        ui->bottomRow2->parentWidget()->layout()->activate();
}

void TMainForm::bttChapterNamesClick()
{
    // One text per chapter, through the engine with the timing fields as
    // they stand (no key-frame snapping: the hints need no video file).
    const auto perChapter = [this](const std::string& format, const std::string& nameTemplate) {
        RenderInput input;
        input.format = format + "\x1f";  // a chapter's text may hold line breaks; this ends it
        input.nameTemplate = nameTemplate;
        input.frameRate = L8(ui->cbFrameRate->currentText());
        input.frameOffset = L8(ui->edFrameOff->text());
        input.msOffset = L8(ui->edMsOff->text());
        QStringList texts =
            L(pelvano::RenderChapters(document_.model, input).text).split(QStringLiteral("\x1f\r\n"));
        texts.removeLast();
        return texts;
    };
    QStringList names;
    for (const std::string& name : chapterNames_)
        names.append(QString::fromUtf8(name));
    ChapterNamesDialog dialog(
        dialogs_, perChapter("%hh:%mm:%ss.%ms", ""), names, L(nameTemplate_),
        [&](const QString& nameTemplate) { return perChapter("%n", L8(nameTemplate)); }, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    chapterNames_.clear();
    for (const QString& name : dialog.names())
        chapterNames_.push_back(name.toUtf8().toStdString());
    nameTemplate_ = L8(dialog.nameTemplate());
    RefreshOutput();
}

// --- About box ------------------------------------------------------------------

void TMainForm::setAboutBox(TFormAbout* box)
{
    FormAbout = box;
    TFormAbout::SetProjectPage(QUrl::fromLocalFile(L(app_.readmePath())));
}

void TMainForm::FormActivate()
{
    // Regaining the focus from the closing box is no new activation.
    if (!SplashPending() || !FormAbout || splashShowing_)
        return;
    // A run that is already ending shows no splash.
    if (QCoreApplication::closingDown()) {
        SplashPending() = false;
        return;
    }
    splashShowing_ = true;
    FormAbout->Timer1.setInterval(FormAbout->durations().splashMs);
    FormAbout->ShowModal();
    splashShowing_ = false;
    SplashPending() = false;
}

void TMainForm::bttHelpAboutClick()
{
    if (!FormAbout)
        return;
    FormAbout->Timer1.setInterval(FormAbout->durations().aboutMs);
    FormAbout->ShowModal();
}

// --- Presets ------------------------------------------------------------------

void TMainForm::LoadPresets()
{
    const PresetStore store = app_.loadPresets();
    for (const Preset& preset : store.presets) {
        ui->cbPresets->addItem(L(preset.name));
        presetFormats.append(L(preset.format));
        presetHeaders.append(L(preset.header));
        presetFooters.append(L(preset.footer));
    }
    ui->chkExactNTSC->setChecked(store.exactNtsc);
    nameTemplate_ = store.nameTemplate;
}

void TMainForm::SavePresets()
{
    PresetStore store;
    for (int i = 0; i < kPresetCount && i < ui->cbPresets->count(); ++i) {
        Preset& preset = store.presets[static_cast<size_t>(i)];
        preset.name = L8(ui->cbPresets->itemText(i));
        preset.format = L8(presetFormats.value(i));
        preset.header = L8(presetHeaders.value(i));
        preset.footer = L8(presetFooters.value(i));
    }
    store.exactNtsc = ui->chkExactNTSC->isChecked();
    store.nameTemplate = nameTemplate_;
    app_.savePresets(store);
}

bool TMainForm::InRenameMode() const
{
    return ui->cbPresets->isEditable();
}

void TMainForm::cbPresetsChange()
{
    const int i = ui->cbPresets->currentIndex();
    if (i != -1) {
        ui->edFormat->setText(presetFormats.value(i));
        ui->edHeader->setText(presetHeaders.value(i));
        ui->edFooter->setText(presetFooters.value(i));
        ui->edFormat->setCursorPosition(0);
        ui->edHeader->setCursorPosition(0);
        ui->edFooter->setCursorPosition(0);
    }
    if (!InRenameMode())
        RenderChapters();
}

void TMainForm::bttModifPresetNameClick()
{
    if (InRenameMode()) {
        FinishRename();
        return;
    }
    const int i = ui->cbPresets->currentIndex();
    if (i == -1)
        return;
    renameIndex = i;
    ui->cbPresets->setEditable(true);
    // Typing a new name must not complete it to an existing one.
    ui->cbPresets->setCompleter(nullptr);
    ui->cbPresets->setInsertPolicy(QComboBox::NoInsert);
    // Nor may leaving the field select the preset whose name is typed, as
    // Qt's own handling would: only a pick from the list chooses a preset.
    disconnect(ui->cbPresets->lineEdit(), &QLineEdit::editingFinished, ui->cbPresets, nullptr);
    connect(ui->cbPresets->lineEdit(), &QLineEdit::textEdited, this,
            [this] { Handle([this] { cbPresetsChange(); }); });
    ui->cbPresets->setFocus();
    ui->cbPresets->lineEdit()->selectAll();
}

// A preset picked from the list or with the arrow keys. In rename mode it
// ends the rename, renaming nothing, and is selected as in list mode.
void TMainForm::cbPresetsPick()
{
    if (InRenameMode())
        ui->cbPresets->setEditable(false);
    cbPresetsChange();
}

bool TMainForm::cbPresetsKeyDown(const QKeyEvent& event)
{
    if (!InRenameMode())
        return false;
    if (event.key() == Qt::Key_Escape)
        LeaveRenameMode();
    else if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        FinishRename();
    else
        return false;
    return true;
}

void TMainForm::FinishRename()
{
    ui->cbPresets->setItemText(renameIndex, ui->cbPresets->currentText());
    LeaveRenameMode();
}

// Back to list mode on the preset being renamed, with the name its entry
// holds: Escape cancels the rename.
void TMainForm::LeaveRenameMode()
{
    ui->cbPresets->setEditable(false);
    const QSignalBlocker quiet(ui->cbPresets);
    ui->cbPresets->setCurrentIndex(renameIndex);
}

void TMainForm::bttSavePresetFormatClick()
{
    const int i = ui->cbPresets->currentIndex();
    if (i != -1) {
        presetFormats[i] = ui->edFormat->text();
        presetHeaders[i] = ui->edHeader->text();
        presetFooters[i] = ui->edFooter->text();
    }
    RenderChapters();
}

void TMainForm::chkExactNTSCClick()
{
    // The cell times are made when a title is read: read the current one
    // again, in the time now chosen, keeping the marks the user has set.
    if (!source_)
        return;
    const std::vector<CellRow> marked = document_.rows;
    LoadTitle(false);
    if (CarryMarksOver(document_, marked)) {
        cellModel_->rowsRewritten();
        ui->lstCells->fitColumns();
        ShowDocumentLabels();
        RefreshOutput();
    }
}

// --- Saving and ending --------------------------------------------------------

void TMainForm::bttSaveDataClick()
{
    // What is saved is what the preset fields say, typing pause or not.
    if (formatEditTimer_.isActive())
        FormatFieldsEdited();
    SaveRequest request;
    request.filters = kSaveFilters;
    request.proposedPath = lastSavePath_;
    request.filterIndex = lastSaveFilter_;
    const std::optional<SaveChoice> choice = dialogs_.saveFile(this, request);
    if (!choice)
        return;
    lastSavePath_ = choice->path;
    lastSaveFilter_ = choice->filterIndex;
    EnterFolderOf(choice->path);

    const std::string path = L8(choice->path);
    if (source_)
        RefuseWritingOverInput(path, source_->inputs());
    switch (ui->PageControl1->currentIndex()) {
    case RawDataPage:
        WriteTextFile(path, SavedText(*ui->Memo1->document()), kFailedToSaveStream);
        break;
    case FormatPage:
        WriteTextFile(path, SavedText(*ui->CustomMemo->document()));
        break;
    default:
        break;
    }
}

void TMainForm::bttQuitClick()
{
    QCoreApplication::quit();
}

void TMainForm::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    Handle([this] { SavePresets(); });
}

}  // namespace pelvano::gui
