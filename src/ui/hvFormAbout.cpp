#include "ui/hvFormAbout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QShowEvent>

#include "project/hvProject.h"

namespace {

// Verdana, as the box was designed; where the system has none, DejaVu Sans, which Debian shows
// for it. Wine lists DejaVu Sans but has no Verdana of its own, and the toolkit took its first
// family there, a serif face.
QFont AboutFont(int pixelHeight) {
    QFont font;
    font.setFamilies({"Verdana", "DejaVu Sans"});
    font.setPixelSize(pixelHeight);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& bounds, int pixelHeight,
                  bool bold) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(bounds);
    QFont font = AboutFont(pixelHeight);
    font.setBold(bold);
    label->setFont(font);
    // Drawn straight onto the box's background.
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

}  // namespace

ThvFrmAbout::ThvFrmAbout(QWidget* mainWindow, QWidget* parent)
    : ThvFrmBase(parent, Qt::Dialog | Qt::FramelessWindowHint), mainWindow_(mainWindow) {
    setObjectName("hvFrmAbout");
    setFixedSize(472, 243);
    setWindowOpacity(200.0 / 255.0);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0, 85, 255));
    colours.setColor(QPalette::WindowText, QColor(221, 221, 221));
    setPalette(colours);
    setBackgroundRole(QPalette::Window);
    setFont(AboutFont(11));

    img = new QLabel(this);
    img->setObjectName("img");
    img->setGeometry(40, 40, 80, 80);
    lblProduct = MakeLabel(this, "lblProduct", QRect(163, 40, 250, 50), 21, true);
    lblProduct->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblProduct->setWordWrap(true);
    lblVersion = MakeLabel(this, "lblVersion", QRect(176, 96, 224, 16), 13, true);
    lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblCopright = MakeLabel(this, "lblCopright", QRect(184, 208, 264, 16), 13, false);
    lblCopright->setText("\u00A9 2024 The Quillon Converter authors");
}

void ThvFrmAbout::ShowAbout() {
    if (FShowCount > 0) {
        ShowModal();
    } else if (hvProject && hvProject->PureConsole() && mainWindow_) {
        // The run-and-close window of a "PureConsole" project with an address as its source:
        // it works unseen and closes when the run ends.
        mainWindow_->setWindowOpacity(0);
    }
    ++FShowCount;
}

void ThvFrmAbout::showEvent(QShowEvent* event) {
    ThvFrmBase::showEvent(event);
    if (event->spontaneous()) return;
    if (lblProduct->text().isEmpty()) {
        // A single "&" would mark an access key and vanish; doubled, it shows as itself.
        lblProduct->setText(QString::fromStdString(hvProject->Title).replace("&", "&&"));
        lblVersion->setText(QString::fromStdString(hvProject->Version));
    }
    ++FShowCount;
}

void ThvFrmAbout::FormClick() {
    if (FShowCount > 1) close();
}

void ThvFrmAbout::mousePressEvent(QMouseEvent*) { FormClick(); }

void ThvFrmAbout::keyPressEvent(QKeyEvent*) { FormClick(); }
