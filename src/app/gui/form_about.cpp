#include "form_about.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

#include "base/version.h"
#include "ui_form_about.h"

// Q_INIT_RESOURCE must be used outside any namespace. The box may be made
// before the main window, which otherwise registers the resources.
static void InitAboutResources()
{
    Q_INIT_RESOURCE(pelvano);
}

namespace pelvano::gui {

namespace {

constexpr int kFontPointSize = 8;

// The box's labels were placed for a narrow font. One whose text needs more
// room grows, and moves left where the box's edge would cut it off.
void FitToText(QLabel& label, int rightLimit)
{
    const QFontMetrics metrics = label.fontMetrics();
    QRect place = label.geometry();
    place.setWidth(std::max(place.width(), metrics.horizontalAdvance(label.text()) + 1));
    place.setHeight(std::max(place.height(), metrics.height()));
    if (place.right() > rightLimit)
        place.moveRight(std::max(rightLimit, place.width() - 1));
    label.setGeometry(place);
}

bool IsLeftClick(const QEvent* event)
{
    return static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

}  // namespace

TFormAbout::~TFormAbout() = default;

bool& SplashPending()
{
    static bool pending = true;
    return pending;
}

TFormAbout::TFormAbout(QWidget* mainWindow, AboutDurations durations)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Timer1(durations.splashMs),
      ui(std::make_unique<Ui::TFormAbout>()),
      durations_(durations)
{
    InitAboutResources();
    ui->setupUi(this);
    ui->Label2->setText(QStringLiteral("Version ") + QString::fromLatin1(kVersion));
    QFont font = QApplication::font();
    font.setPointSize(kFontPointSize);
    setFont(font);
    setFixedSize(342, 225);
    setModal(true);
    const int rightLimit = ui->Label2->geometry().right();
    FitToText(*ui->Label1, rightLimit);
    FitToText(*ui->Label2, rightLimit);

    openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    Timer1.onTimer = [this] { Timer1Timer(); };
    for (QWidget* child :
         std::initializer_list<QWidget*>{ui->Shape1, ui->Image1, ui->Label1, ui->Label2, ui->Label3})
        child->installEventFilter(this);
}

void TFormAbout::ShowModal()
{
    if (const QWidget* main = parentWidget())
        move(main->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    exec();
}

void TFormAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormAbout::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        FormClick();
}

void TFormAbout::keyPressEvent(QKeyEvent* event)
{
    // The box goes by its time or a click; Escape does not close it.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event)
{
    // The picture and the link answer clicks; the frame and the two plain
    // labels swallow them, so a click there does not reach the box.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::MouseButtonRelease: {
        const auto* widget = static_cast<QWidget*>(watched);
        const bool inside = widget->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint());
        if (IsLeftClick(event) && inside) {
            if (watched == ui->Image1)
                FormClick();
            else if (watched == ui->Label3)
                Label3Click();
        }
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void TFormAbout::FormShow()
{
    Timer1.setEnabled(true);
}

void TFormAbout::FormClick()
{
    close();
}

void TFormAbout::Timer1Timer()
{
    Timer1.setEnabled(false);
    if (isVisible())
        close();
}

namespace {

QUrl& ProjectPageUrl()
{
    static QUrl page;
    return page;
}

}  // namespace

QUrl TFormAbout::ProjectPage()
{
    if (ProjectPageUrl().isEmpty())
        return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/Readme.txt"));
    return ProjectPageUrl();
}

void TFormAbout::SetProjectPage(const QUrl& page)
{
    ProjectPageUrl() = page;
}

void TFormAbout::Label3Click()
{
    if (openUrl)
        openUrl(ProjectPage());
}

}  // namespace pelvano::gui
