// The main window's status bar: the run's state and figures while it goes on, what happened
// when it has ended, and the failures it offers to show or report.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "discovery/hvBatch.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvRunReport.h"
#include "ui/hvFormMain.h"
#include "ui/hvResultsModel.h"

namespace {

QString Seconds(qint64 ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); }

}  // namespace

QString ThvFrmMain::TRunFigures::Summary(const QString& word) const {
    return QStringLiteral("%1: %2 converted, %3 failed, %4 skipped in %5 s")
        .arg(word)
        .arg(Converted)
        .arg(Failed)
        .arg(Skipped)
        .arg(Seconds(ElapsedMs));
}

QString ThvFrmMain::TRunFigures::Progress() const {
    const int32_t done = Converted + Failed + Skipped;
    const double rate = ElapsedMs > 0 ? done * 1000.0 / static_cast<double>(ElapsedMs) : 0.0;
    return QStringLiteral("%1 found, %2 converted, %3 failed, %4 skipped, %5 s, %6 files/s")
        .arg(Found)
        .arg(Converted)
        .arg(Failed)
        .arg(Skipped)
        .arg(Seconds(ElapsedMs))
        .arg(QString::number(rate, 'f', 1));
}

void ThvFrmMain::CreateStatusBar() {
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(true);
    lRunState = new QLabel(StatusBar);
    lRunState->setObjectName("lRunState");
    lFigures = new QLabel(StatusBar);
    lFigures->setObjectName("lFigures");
    pbRun = new QProgressBar(StatusBar);
    pbRun->setObjectName("pbRun");
    pbRun->setMaximumWidth(200);
    pbRun->setMaximumHeight(16);
    pbRun->hide();
    bShowFailures = new QPushButton("Show failures", StatusBar);
    bShowFailures->setObjectName("bShowFailures");
    bShowFailures->setCheckable(true);
    bReport = new QPushButton("Report...", StatusBar);
    bReport->setObjectName("bReport");
    bReport->setToolTip("Send the messages of the failed files to the maker");
    for (QPushButton* button : {bShowFailures, bReport}) {
        button->setAutoDefault(false);
        button->hide();
    }
    StatusBar->addWidget(lRunState);
    StatusBar->addWidget(lFigures, 1);
    StatusBar->addPermanentWidget(bShowFailures);
    StatusBar->addPermanentWidget(bReport);
    StatusBar->addPermanentWidget(pbRun);
    connect(bShowFailures, &QPushButton::toggled, FailuresOnly1, &QAction::setChecked);
    connect(bReport, &QPushButton::clicked, this, &ThvFrmMain::ReportClick);
    // Ten times a second at most: the figures come from the batch's counters, never from the
    // rows, so a run of any size costs the same.
    status_.setInterval(100);
    connect(&status_, &QTimer::timeout, this, &ThvFrmMain::UpdateStatus);
}

ThvFrmMain::TRunFigures ThvFrmMain::Figures(const ThvBatch& batch) const {
    TRunFigures figures;
    figures.Found = batch.Count();
    figures.Converted = batch.Succeeded();
    figures.Failed = batch.Failed();
    figures.Skipped = batch.Skipped();
    figures.ElapsedMs = runClock_.isValid() ? runClock_.elapsed() : 0;
    return figures;
}

void ThvFrmMain::ShowStatus(const QString& text) {
    status_.stop();
    lRunState->setText(text);
    lFigures->clear();
    pbRun->hide();
}

void ThvFrmMain::StartStatus(const QString& word) {
    // A run resumed after Pause goes on with the time of its batch.
    if (clockBatch_ != batchNumber_ || !runClock_.isValid()) runClock_.start();
    clockBatch_ = batchNumber_;
    statusWord_ = word;
    reportLink_.clear();
    bReport->hide();
    bShowFailures->setChecked(false);
    bShowFailures->hide();
    pbRun->setRange(0, 0);
    pbRun->show();
    UpdateStatus();
    status_.start();
}

void ThvFrmMain::UpdateStatus() {
    if (!FBatch) return;
    const TRunFigures figures = Figures(*FBatch);
    const bool searched = FBatch->Searched();
    if (searched && state_ == TRunState::Idle) {
        // A search alone has ended.
        status_.stop();
        pbRun->hide();
        lRunState->setText(figures.Found == 0 ? NothingFound()
                                              : QStringLiteral("Found %1 files in %2 s")
                                                    .arg(figures.Found)
                                                    .arg(Seconds(figures.ElapsedMs)));
        lFigures->clear();
        return;
    }
    lRunState->setText(statusWord_);
    lFigures->setText(figures.Progress());
    if (!searched) {
        if (pbRun->maximum() != 0) pbRun->setRange(0, 0);
    } else {
        pbRun->setRange(0, std::max(figures.Found, 1));
        pbRun->setValue(figures.Converted + figures.Failed + figures.Skipped);
    }
}

QString ThvFrmMain::NothingFound() const {
    const std::string source = hvProject->ResolvePath(eSource->text().toStdString());
    const std::string advice =
        ThvSearchScope::Of(source, cSubdir->isChecked()).SourceAdvice(hvProject->SourceMask);
    return advice.empty() ? QStringLiteral("No file found in \"%1\"").arg(eSource->text())
                          : QString::fromStdString(advice);
}

void ThvFrmMain::ShowRunEnd(const ThvBatch& ran) {
    status_.stop();
    const TRunFigures figures = Figures(ran);
    pbRun->hide();
    lFigures->clear();
    if (figures.Found == 0 && ran.Searched()) {
        lRunState->setText(NothingFound());
        return;
    }
    lRunState->setText(figures.Summary(statusWord_ == "Converting" ? QStringLiteral("Done")
                                                                   : statusWord_));
    reportLink_ = figures.Failed > 0 ? FailureReportLink(ran) : std::string();
    bShowFailures->setVisible(figures.Failed > 0);
    bReport->setVisible(figures.Failed > 0);
}

void ThvFrmMain::ReportClick() {
    if (!reportLink_.empty()) ShellOpen(reportLink_);
}

void ThvFrmMain::ShowFailuresOnly(bool only) {
    bShowFailures->setChecked(only);
    shown_->SetFailuresOnly(only);
}
