#include "ui/hvImages.h"

#include <QHash>
#include <QString>

// Resources of a static library are registered by hand: nothing refers to their object file.
// (Outside any namespace, as the macro's declaration requires.)
static void RegisterResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(quillon);
        return true;
    }();
    (void)registered;
}

namespace {

QIcon FromFiles(const QString& name, int size) {
    RegisterResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/images/%1-%2.png").arg(name).arg(size), QSize(size, size));
    icon.addFile(QStringLiteral(":/images/%1-%2.png").arg(name).arg(size * 2),
                 QSize(size * 2, size * 2));
    return icon;
}

const char* ImageName(int index) {
    switch (index) {
        case ThvImageList::Running:
            return "running";
        case ThvImageList::Success:
            return "success";
        case ThvImageList::Failure:
            return "failure";
        case ThvImageList::Open:
            return "open";
        case ThvImageList::New:
            return "new";
        case ThvImageList::Save:
            return "save";
        case ThvImageList::SaveAs:
            return "saveas";
        case ThvImageList::Update:
            return "update";
        case ThvImageList::Help:
            return "help";
        case ThvImageList::Home:
            return "home";
        case ThvImageList::Support:
            return "support";
        case ThvImageList::About:
            return "about";
        case ThvImageList::Config:
            return "config";
        case ThvImageList::Salvaged:
            return "salvaged";
        case ThvImageList::NotConverted:
            return "notconverted";
        default:
            return nullptr;
    }
}

}  // namespace

QIcon ThvImageList::Image(int index) {
    // Made once: the results list asks for an image every time it paints a row.
    static QHash<int, QIcon> made;
    if (const auto found = made.constFind(index); found != made.constEnd()) return *found;
    const char* name = ImageName(index);
    const QIcon icon = name ? FromFiles(QString::fromLatin1(name), 16) : QIcon();
    made.insert(index, icon);
    return icon;
}

QIcon ThvImageList::ProductPicture() { return FromFiles(QStringLiteral("quillon"), 128); }
