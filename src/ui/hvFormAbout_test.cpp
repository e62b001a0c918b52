// The about box: the start-up call, its labels, and what closes it.

#include "ui/hvFormAbout.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include "ui/testing/uiTestSupport.h"

namespace {

class AboutTest : public WindowTest {
  protected:
    /// Shows the box with About and sends it one event while it is shown.
    void WithBox(const std::function<void()>& act) {
        bool acted = false;
        QTimer::singleShot(0, window.get(), [&] {
            EXPECT_TRUE(about->isVisible());
            act();
            acted = true;
        });
        // If the event does not close it, the test fails after the time-out instead of hanging.
        QTimer::singleShot(5000, about.get(), [this] { about->hide(); });
        window->aAbout->trigger();
        EXPECT_TRUE(acted);
    }
};

TEST_F(AboutTest, StartUpCallShowsNothingAndOnlyCounts) {
    OpenWindow();
    EXPECT_EQ(about->ShowCount(), 1);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->lblProduct->text(), "");
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);
}

TEST_F(AboutTest, PureConsoleWindowIsFullyTransparent) {
    OpenWindow("Source=http://example.org/a.ppt,PureConsole=1,Target=" + dir / "out");
    EXPECT_EQ(window->windowOpacity(), 0.0);
}

// The box hides the window it belongs to, which it is given, not one a global names.
TEST_F(AboutTest, StartUpCallHidesTheWindowTheBoxBelongsTo) {
    OpenWindow("Source=http://example.org/a.ppt,PureConsole=1,Target=" + dir / "out");
    hvFrmMain = nullptr;
    QWidget other;
    ThvFrmQuillonAbout box(&other);
    box.ShowAbout();
    EXPECT_EQ(other.windowOpacity(), 0.0);
    EXPECT_FALSE(box.isVisible());
}

TEST_F(AboutTest, LabelsAreFilledOnceAndAnyClickOrKeyCloses) {
    project->Title = "Quillon & Co";
    OpenWindow();
    EXPECT_EQ(about->size(), QSize(472, 243));
    EXPECT_TRUE(about->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_NEAR(about->windowOpacity(), 200.0 / 255.0, 0.004);
    EXPECT_EQ(about->palette().color(QPalette::Window), QColor(0, 85, 255));
    EXPECT_EQ(about->img->geometry(), QRect(16, 16, 128, 128));
    EXPECT_FALSE(about->img->pixmap().isNull());
    WithBox([&] {
        EXPECT_EQ(about->lblProduct->text(), "Quillon && Co");  // shows one "&"
        EXPECT_EQ(about->lblVersion->text(), "2024.16.323.2227");
        EXPECT_TRUE(about->lblProduct->font().bold());
        EXPECT_EQ(about->lblProduct->font().pixelSize(), 21);
        // Verdana, or the sans face the system shows for it (DejaVu Sans on Debian, Tahoma
        // under Wine), never a serif face the toolkit falls back to.
        for (const QLabel* label : {about->lblProduct, about->lblVersion, about->lblCopright}) {
            const std::string face = QFontInfo(label->font()).family().toStdString();
            EXPECT_TRUE(face == "Verdana" || face == "DejaVu Sans" || face == "Tahoma") << face;
        }
        EXPECT_FALSE(about->lblCopright->text().isEmpty());
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(200, 100), QPointF(200, 100),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(about->lblVersion, &click);  // a label passes it on
    });
    EXPECT_FALSE(about->isVisible());
    project->Title = "changed";
    for (int key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_A}) {
        WithBox([&] {
            EXPECT_EQ(about->lblProduct->text(), "Quillon && Co");  // not filled again
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, "a");
            QCoreApplication::sendEvent(about.get(), &press);
        });
        EXPECT_FALSE(about->isVisible()) << key;
    }
}

}  // namespace
