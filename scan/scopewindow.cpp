// The band scope window: a thin Qt face over the scanner (scan/scan.h)
// and the sweep model (scan/sweep.h).
#include "scan/scope.h"

#include "link/control.h"
#include "platform/accessible.h"
#include "platform/dialog.h"
#include "platform/dialog_qt.h"
#include "protocol/comexecute.h"
#include "remote/rigcommand.h"
#include "scan/scan.h"
#include "scan/scansettings.h"
#include "scan/sweep.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace {

constexpr int REFRESH_MS = 50;        // points are drawn as they arrive
constexpr std::size_t STRONGEST = 10; // signals in the text list
constexpr DWORD AROUND_TUNED = 100000;
constexpr int NAME_ROWS = 3; // rows of station names over the picture
constexpr int NAME_ROW_HEIGHT = 12;

SCOPESTATIONS stationSource;

QString kilohertz(DWORD ulHertz) {
    return QString::number(ulHertz / 1000.0, 'f', ulHertz % 1000 == 0 ? 0 : 3);
}

QString strengthText(int iDb) {
    if (iDb <= 0) {
        const int iUnits = 9 + iDb / 6;
        return QStringLiteral("S%1").arg(std::max(iUnits, 0));
    }
    return QStringLiteral("S9+%1").arg(iDb);
}

// The picture's colours: its own dark ones, or the desktop's while the
// desktop asks for high contrast.
struct CanvasColours {
    QColor background, grid, label, average, peak, current, marker, name, nameLine;
};

CanvasColours canvasColours(const QPalette& palette) {
    if (!accessible::highContrast(palette)) {
        return {Qt::black,           QColor(60, 60, 60),    QColor(170, 170, 170),
                QColor(0, 200, 255), QColor(255, 80, 80),   QColor(180, 255, 0),
                Qt::white,           QColor(230, 230, 120), QColor(120, 120, 60)};
    }
    const QColor text = palette.color(QPalette::Text);
    return {palette.color(QPalette::Base), text, text, text, text, text, text, text, text};
}

// The traces differ in their lines as well as their colours, so that they
// can be told apart without colour; the legend names them.
struct Trace {
    const char* szName;
    Qt::PenStyle style;
    int width;
};
constexpr Trace CURRENT{"current", Qt::SolidLine, 2};
constexpr Trace PEAK{"peak", Qt::DashLine, 1};
constexpr Trace AVERAGE{"average", Qt::DotLine, 1};

// The picture: strength against frequency on a fixed scale.
class ScopeCanvas final : public QWidget {
  public:
    ScopeCanvas(const SweepModel& model, const std::vector<SCOPENAME>& names, QWidget* parent)
        : QWidget(parent), model_(model), names_(names) {
        setMinimumSize(560, 260);
        accessible::describePicture(this, "Band scope picture");
        setAccessibleDescription("No sweep yet.");
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::CrossCursor);
    }
    // A click tunes there.
    std::function<void(DWORD)> onTune;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const CanvasColours colours = canvasColours(palette());
        p.fillRect(rect(), colours.background);
        const QRect plot = plotRect();
        // The desktop's font, so a larger one is followed.
        p.setFont(font());
        const int lineHeight = fontMetrics().height();
        for (int db = SCOPE_BOTTOM_DB; db <= SCOPE_TOP_DB; db += db < 0 ? 12 : 10) {
            const int y = yOf(db);
            p.setPen(QPen(colours.grid, 0, Qt::DotLine));
            p.drawLine(plot.left(), y, plot.right(), y);
            p.setPen(colours.label);
            p.drawText(QRect(0, y - lineHeight / 2, plot.left() - 4, lineHeight),
                       Qt::AlignRight | Qt::AlignVCenter, strengthText(db));
        }
        drawLegend(p, colours);
        const std::size_t n = model_.count();
        if (n == 0)
            return;
        p.setPen(colours.label);
        const QRect scale(plot.left(), plot.bottom() + 2, plot.width(), lineHeight);
        p.drawText(scale, Qt::AlignLeft, kilohertz(model_.range().ulStart) + " kHz");
        p.drawText(scale, Qt::AlignRight, kilohertz(model_.range().ulStop) + " kHz");
        drawTrace(p, model_.average(), colours.average, AVERAGE);
        drawTrace(p, model_.peak(), colours.peak, PEAK);
        drawTrace(p, model_.current(), colours.current, CURRENT);
        drawNames(p, colours);
        // The marker at the tuned frequency.
        const DWORD ulTuned = radio.ulFrequency;
        if (ulTuned >= model_.range().ulStart && ulTuned <= model_.range().ulStop) {
            const int x = xOf(ulTuned);
            p.setPen(QPen(colours.marker, 1, Qt::DashDotLine));
            p.drawLine(x, plot.top(), x, plot.bottom());
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        const QRect plot = plotRect();
        if (event->button() != Qt::LeftButton || model_.count() == 0 || plot.width() <= 0)
            return;
        const double fraction =
            std::clamp((event->position().x() - plot.left()) / plot.width(), 0.0, 1.0);
        const SCANRANGE& r = model_.range();
        const DWORD ulFrequency = model_.frequencyAt(
            model_.indexOf(r.ulStart + static_cast<DWORD>(fraction * (r.ulStop - r.ulStart))));
        if (onTune)
            onTune(ulFrequency);
    }

  private:
    // Room for the strength labels at the left, the legend above and the
    // frequencies below, in the font in use.
    QRect plotRect() const {
        const QFontMetrics metrics = fontMetrics();
        return rect().adjusted(metrics.horizontalAdvance(QStringLiteral("S9+40")) + 12,
                               metrics.height() + 8, -8, -(metrics.height() + 4));
    }
    void drawLegend(QPainter& p, const CanvasColours& colours) {
        const QFontMetrics metrics = fontMetrics();
        constexpr int sample = 24;
        int x = plotRect().left();
        const int y = 4 + metrics.height() / 2;
        for (const auto& [trace, colour] :
             {std::pair{CURRENT, colours.current}, std::pair{PEAK, colours.peak},
              std::pair{AVERAGE, colours.average}}) {
            p.setPen(QPen(colour, trace.width, trace.style));
            p.drawLine(x, y, x + sample, y);
            x += sample + 4;
            p.setPen(colours.label);
            const QString name = QString::fromLatin1(trace.szName);
            p.drawText(QRect(x, 4, metrics.horizontalAdvance(name) + 2, metrics.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, name);
            x += metrics.horizontalAdvance(name) + 16;
        }
    }
    int yOf(int db) const {
        const QRect plot = plotRect();
        const int clamped = std::clamp(db, SCOPE_BOTTOM_DB, SCOPE_TOP_DB);
        return plot.bottom() -
               (clamped - SCOPE_BOTTOM_DB) * plot.height() / (SCOPE_TOP_DB - SCOPE_BOTTOM_DB);
    }
    int xOf(DWORD ulFrequency) const {
        const QRect plot = plotRect();
        const SCANRANGE& r = model_.range();
        const double span = std::max<double>(r.ulStop - r.ulStart, 1.0);
        return plot.left() + static_cast<int>((ulFrequency - r.ulStart) / span * plot.width());
    }
    void drawTrace(QPainter& p, const std::vector<int>& trace, const QColor& colour,
                   const Trace& kind) {
        p.setPen(QPen(colour, kind.width, kind.style));
        bool bHave = false;
        QPoint last;
        for (std::size_t i = 0; i < trace.size(); ++i) {
            if (trace[i] == SCOPE_NONE) {
                bHave = false;
                continue;
            }
            const QPoint here(xOf(model_.frequencyAt(i)), yOf(trace[i]));
            if (bHave)
                p.drawLine(last, here);
            else
                p.drawPoint(here);
            last = here;
            bHave = true;
        }
    }

    // The stations' names at their frequencies, in rows along the top.
    void drawNames(QPainter& p, const CanvasColours& colours) {
        const QRect plot = plotRect();
        const QFontMetrics metrics(p.font());
        const std::vector<SCOPELABEL> labels = scopeLabels(
            names_, model_.range(), plot.width(), NAME_ROWS, [&](const std::string& szName) {
                return metrics.horizontalAdvance(QString::fromStdString(szName));
            });
        for (const SCOPELABEL& label : labels) {
            const int x = plot.left() + label.x;
            const int y = plot.top() + label.row * NAME_ROW_HEIGHT;
            p.setPen(QPen(colours.nameLine, 1, Qt::DotLine));
            p.drawLine(x, y + NAME_ROW_HEIGHT, x, plot.bottom());
            p.setPen(colours.name);
            p.drawText(QPoint(x + 2, y + NAME_ROW_HEIGHT - 2),
                       QString::fromStdString(label.pName->szName));
        }
    }

    const SweepModel& model_;
    const std::vector<SCOPENAME>& names_;
};

class ScopeWindow final : public QWidget {
  public:
    ScopeWindow(HWND hDlg, QWidget* parent) : QWidget(parent, Qt::Window), hDlg_(hDlg) {
        setWindowTitle("Band Scope");
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);

        auto* rangeRow = new QHBoxLayout;
        addField(rangeRow, "Start kHz", start_);
        addField(rangeRow, "Stop kHz", stop_);
        addField(rangeRow, "Step kHz", step_);
        dwell_.setRange(1, static_cast<int>(SCAN_MAX_DWELL_MS));
        dwell_.setValue(60);
        dwell_.setSuffix(" ms");
        addLabelled(rangeRow, "Dwell", &dwell_);
        repeat_.setText("Repeat");
        repeat_.setAccessibleName("Repeat sweeps");
        rangeRow->addWidget(&repeat_);
        addButton(rangeRow, sweep_, "Sweep", [this] { startSweep(); });
        addButton(rangeRow, stopButton_, "Stop", [] { scanStop(); });
        layout->addLayout(rangeRow);

        canvas_ = new ScopeCanvas(model_, names_, this);
        canvas_->onTune = [this](DWORD ulFrequency) { tuneTo(ulFrequency); };
        layout->addWidget(canvas_, 1);

        auto* exportRow = new QHBoxLayout;
        addButton(exportRow, csv_, "Export CSV...", [this] { exportCsv(); });
        addButton(exportRow, png_, "Export PNG...", [this] { exportPng(); });
        status_.setAccessibleName("Scope status");
        exportRow->addWidget(&status_, 1);
        layout->addLayout(exportRow);

        auto* scanBox = new QGroupBox("Scan", this);
        auto* scanRows = new QVBoxLayout(scanBox);
        auto* scanRow = new QHBoxLayout;
        auto* listRow = new QHBoxLayout;
        scanRows->addLayout(scanRow);
        scanRows->addLayout(listRow);
        threshold_.setRange(static_cast<int>(SCAN_MIN_THRESHOLD),
                            static_cast<int>(SCAN_MAX_THRESHOLD));
        threshold_.setPrefix("S");
        addLabelled(scanRow, "Threshold", &threshold_);
        hang_.setRange(0, static_cast<int>(SCAN_MAX_HANG_MS));
        hang_.setSingleStep(500);
        hang_.setSuffix(" ms");
        addLabelled(scanRow, "Hang", &hang_);
        stay_.setText("Stay on signal");
        record_.setText("Record hits");
        for (QCheckBox* box : {&stay_, &record_}) {
            box->setAccessibleName(box->text());
            scanRow->addWidget(box);
        }
        addButton(listRow, scanRange_, "Scan Range", [this] { startRangeScan(); });
        addButton(listRow, scanMemories_, "Scan Memories", [this] { startMemoryScan(); });
        addButton(listRow, scanOnAir_, "Scan On Air Now", [this] { startOnAirScan(); });
        tags_.setAccessibleName("Tag to scan");
        tags_.setMinimumContentsLength(8);
        listRow->addWidget(&tags_);
        addButton(listRow, scanTag_, "Scan Tag", [this] { startTagScan(); });
        addButton(scanRow, lockout_, "Lock Out Tuned", [this] { lockOutTuned(); });
        addButton(scanRow, clearLockouts_, "Clear Lockouts", [this] {
            scanSetLockouts({});
            scanSaveSettings();
            showStatus("Lockout list cleared.");
        });
        layout->addWidget(scanBox);

        auto* strongestLabel = new QLabel("Strongest signals of the last sweep:", this);
        layout->addWidget(strongestLabel);
        strongest_.setAccessibleName("Strongest signals of the last sweep");
        strongest_.setMaximumHeight(120);
        strongestLabel->setBuddy(&strongest_);
        layout->addWidget(&strongest_);
        connect(&strongest_, &QListWidget::itemActivated, this,
                [this](QListWidgetItem* item) { tuneTo(item->data(Qt::UserRole).toUInt()); });

        SCANRANGE last;
        SCANPARAMS params;
        if (scanLastRange(&last, &params)) {
            dwell_.setValue(static_cast<int>(params.ulDwellMs));
            threshold_.setValue(static_cast<int>(params.uThreshold));
            hang_.setValue(static_cast<int>(params.ulHangMs));
            stay_.setChecked(!params.bResume);
            record_.setChecked(params.bRecord != FALSE);
        } else {
            threshold_.setValue(static_cast<int>(params.uThreshold));
            hang_.setValue(static_cast<int>(params.ulHangMs));
        }

        // Escape closes the window, as it closes the program's boxes.
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(escape, &QShortcut::activated, this, &QWidget::close);

        connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
        timer_.start(REFRESH_MS);
    }

    ~ScopeWindow() override {
        if (scanState() == SCAN_SWEEPING)
            scanStop();
    }

    // The station list's tags, again each time the window is shown.
    void listTags() {
        const QString chosen = tags_.currentText();
        tags_.clear();
        if (stationSource.pTags != nullptr)
            for (const std::string& szTag : stationSource.pTags())
                tags_.addItem(QString::fromStdString(szTag));
        tags_.setCurrentIndex(std::max(tags_.findText(chosen), 0));
        const bool bStations = stationSource.pOnAirNow != nullptr;
        scanOnAir_.setEnabled(bStations);
        tags_.setEnabled(tags_.count() > 0 && stationSource.pTagged != nullptr);
        scanTag_.setEnabled(tags_.isEnabled());
    }

    void offer(DWORD ulLower, DWORD ulUpper) {
        start_.setText(kilohertz(ulLower));
        stop_.setText(kilohertz(ulUpper));
        if (step_.text().isEmpty())
            step_.setText("5");
    }

  private:
    void addField(QHBoxLayout* row, const char* szLabel, QLineEdit& field) {
        field.setMaximumWidth(90);
        addLabelled(row, szLabel, &field);
    }
    void addLabelled(QHBoxLayout* row, const char* szLabel, QWidget* widget) {
        auto* label = new QLabel(szLabel, this);
        label->setBuddy(widget);
        widget->setAccessibleName(szLabel);
        row->addWidget(label);
        row->addWidget(widget);
    }
    template <typename F>
    void addButton(QHBoxLayout* row, QPushButton& button, const char* szText, F f) {
        button.setText(szText);
        button.setAccessibleName(QString(szText).remove("..."));
        row->addWidget(&button);
        connect(&button, &QPushButton::clicked, this, f);
    }

    void showStatus(const QString& text) {
        status_.setText(text);
        status_.setAccessibleDescription(text);
    }
    void refuse(const std::string& szWhy) {
        showStatus(QString::fromStdString(szWhy));
        MessageBoxA(hDlg_, szWhy.c_str(), "Band Scope", MB_ICONEXCLAMATION | MB_OK);
    }

    // The range in the fields, or nothing (after saying why).
    bool readRange(SCANRANGE* pRange) {
        std::string szWhy;
        if (!scanReadKilohertz(start_.text().toStdString(), &pRange->ulStart, &szWhy) ||
            !scanReadKilohertz(stop_.text().toStdString(), &pRange->ulStop, &szWhy) ||
            !scanReadKilohertz(step_.text().toStdString(), &pRange->ulStep, &szWhy)) {
            refuse(szWhy);
            return false;
        }
        if (szWhy = scanCheckRange(*pRange); !szWhy.empty()) {
            refuse(szWhy);
            return false;
        }
        return true;
    }

    SCANPARAMS params() const {
        SCANPARAMS p;
        p.ulDwellMs = static_cast<DWORD>(dwell_.value());
        p.uThreshold = static_cast<DWORD>(threshold_.value());
        p.ulHangMs = static_cast<DWORD>(hang_.value());
        p.bResume = stay_.isChecked() ? FALSE : TRUE;
        p.bRecord = record_.isChecked() ? TRUE : FALSE;
        return p;
    }

    void startSweep() {
        SCANRANGE range;
        if (!readRange(&range))
            return;
        const std::uint64_t ulPoints = scanPointCount(range);
        const std::string szAsk = "This range has " + std::to_string(ulPoints) +
                                  " points and takes a while to sweep. Sweep it?";
        if (ulPoints > SCOPE_CONFIRM_POINTS &&
            MessageBoxA(hDlg_, szAsk.c_str(), "Band Scope", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
        std::string szWhy;
        if (!scanStartSweep(range, static_cast<DWORD>(dwell_.value()),
                            repeat_.isChecked() ? TRUE : FALSE, &szWhy)) {
            refuse(szWhy);
            return;
        }
        const SCANRANGE& shown = model_.range();
        if (shown.ulStart != range.ulStart || shown.ulStop != range.ulStop ||
            shown.ulStep != range.ulStep)
            model_.reset(range);
        nameStations();
        bSweepShown_ = true;
        showStatus("Sweeping...");
    }

    void startRangeScan() {
        SCANRANGE range;
        if (!readRange(&range))
            return;
        std::string szWhy;
        if (!scanStartRange(range, params(), &szWhy)) {
            refuse(szWhy);
            return;
        }
        scanSaveSettings();
    }

    // A list scan of what the station list gives; szEmpty says why when
    // it gives nothing.
    void startListScan(const std::vector<SCANCHANNEL>& channels, const char* szEmpty,
                       const QString& started) {
        if (channels.empty()) {
            refuse(szEmpty);
            return;
        }
        std::string szWhy;
        if (!scanStartList(channels, params(), &szWhy)) {
            refuse(szWhy);
            return;
        }
        showStatus(started);
    }

    void startMemoryScan() {
        const std::vector<SCANCHANNEL> channels = scanMemoryList();
        startListScan(channels,
                      "No memory channel is known to hold a frequency yet: Read or Write the "
                      "channels first.",
                      QStringLiteral("Scanning %1 memory channels...").arg(channels.size()));
    }

    void startOnAirScan() {
        if (stationSource.pOnAirNow == nullptr)
            return;
        const std::vector<SCANCHANNEL> channels = stationSource.pOnAirNow();
        startListScan(
            channels, "No station of the list is on the air now.",
            QStringLiteral("Scanning %1 stations on the air now...").arg(channels.size()));
    }

    void startTagScan() {
        if (stationSource.pTagged == nullptr || tags_.currentText().isEmpty())
            return;
        const std::string szTag = tags_.currentText().toStdString();
        const std::vector<SCANCHANNEL> channels = stationSource.pTagged(szTag);
        startListScan(channels, "No station with this tag lies within 100 kHz to 30 MHz.",
                      QStringLiteral("Scanning %1 stations tagged %2...")
                          .arg(channels.size())
                          .arg(tags_.currentText()));
    }

    // The names over the picture, for the range shown, as they are now.
    void nameStations() {
        const SCANRANGE& range = model_.range();
        names_ = stationSource.pNamesIn != nullptr && range.ulStop > range.ulStart
                     ? stationSource.pNamesIn(range.ulStart, range.ulStop)
                     : std::vector<SCOPENAME>{};
    }

    void lockOutTuned() {
        const DWORD ulTuned = radio.ulFrequency;
        scanLockout(ulTuned, TRUE);
        scanSaveSettings();
        showStatus(QStringLiteral("%1 kHz locked out.").arg(kilohertz(ulTuned)));
    }

    // A click or a chosen signal: the operator tunes there.
    void tuneTo(DWORD ulFrequency) {
        scanOperatorActed();
        controlTune(ulFrequency, REQUEST_OPERATOR);
        PostMessageA(hDlg_, IDREMOTE, REMOTE_FREQUENCY, static_cast<LPARAM>(ulFrequency));
        showStatus(QStringLiteral("Tuned to %1 kHz.").arg(kilohertz(ulFrequency)));
    }

    void refresh() {
        for (const SCANPOINT& point : scanTakePoints())
            model_.add(point);
        const SCANSTATE state = scanState();
        if (bSweepShown_ && state != SCAN_SWEEPING) {
            model_.endSweep();
            nameStations();
            bSweepShown_ = false;
            showStatus(QStringLiteral("%1 sweeps.").arg(model_.sweeps()));
        }
        if (model_.sweeps() != listedSweeps_) {
            listedSweeps_ = model_.sweeps();
            listStrongest();
        }
        switch (state) {
        case SCAN_SEARCHING:
            showStatus("Scanning...");
            break;
        case SCAN_LISTENING:
            showStatus(hitText());
            break;
        case SCAN_PAUSED:
            showStatus("Paused: the receiver is not connected.");
            break;
        default:
            break;
        }
        canvas_->update();
    }

    // "Signal on 9550 kHz (Station)." while the scan listens.
    QString hitText() const {
        const DWORD ulHit = scanHitFrequency();
        const std::vector<SCANHIT> hits = scanHits();
        const std::string szName =
            !hits.empty() && hits.back().ulFrequency == ulHit ? hits.back().szName : "";
        return QStringLiteral("Signal on %1 kHz%2.")
            .arg(kilohertz(ulHit))
            .arg(szName.empty() ? QString() : " (" + QString::fromStdString(szName) + ")");
    }

    void listStrongest() {
        strongest_.clear();
        const DWORD ulWithin = std::max<DWORD>(model_.range().ulStep / 2, 500);
        for (const SCOPEPEAK& peak : model_.peaks(scanStrengthDb(threshold_.value()), STRONGEST)) {
            const SCOPENAME* pName = scopeNameNear(names_, peak.ulFrequency, ulWithin);
            auto* item = new QListWidgetItem(
                QStringLiteral("%1 kHz  %2 (%3 dB)%4")
                    .arg(kilohertz(peak.ulFrequency))
                    .arg(strengthText(peak.iStrengthDb))
                    .arg(peak.iStrengthDb)
                    .arg(pName != nullptr ? "  " + QString::fromStdString(pName->szName)
                                          : QString()),
                &strongest_);
            item->setData(Qt::UserRole, static_cast<uint>(peak.ulFrequency));
        }
        // The picture's text alternative: the same list, strongest first.
        QStringList signalTexts;
        for (int i = 0; i < strongest_.count(); ++i)
            signalTexts << strongest_.item(i)->text().simplified();
        canvas_->setAccessibleDescription(
            signalTexts.isEmpty()
                ? QString("No signal above the threshold in the last sweep.")
                : QStringLiteral("%1 signals above the threshold, strongest first: %2.")
                      .arg(signalTexts.size())
                      .arg(signalTexts.join(QStringLiteral("; "))));
    }

    void exportCsv() {
        const QString path =
            QFileDialog::getSaveFileName(this, "Export CSV", "sweep.csv", "CSV files (*.csv)");
        if (path.isEmpty())
            return;
        QFile file(path);
        const std::string text = model_.csv();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(text.data(), static_cast<qint64>(text.size())) !=
                static_cast<qint64>(text.size()))
            refuse("Cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
    }

    void exportPng() {
        const QString path =
            QFileDialog::getSaveFileName(this, "Export PNG", "sweep.png", "PNG images (*.png)");
        if (!path.isEmpty() && !canvas_->grab().save(path, "PNG"))
            refuse("Cannot write " + path.toStdString() + ".");
    }

    HWND hDlg_;
    SweepModel model_;
    ScopeCanvas* canvas_ = nullptr;
    QLineEdit start_, stop_, step_;
    QSpinBox dwell_, threshold_, hang_;
    QCheckBox repeat_, stay_, record_;
    QPushButton sweep_, stopButton_, csv_, png_, scanRange_, scanMemories_, scanOnAir_, scanTag_,
        lockout_, clearLockouts_;
    QComboBox tags_;
    std::vector<SCOPENAME> names_;
    QLabel status_;
    QListWidget strongest_;
    QTimer timer_;
    bool bSweepShown_ = false;
    std::size_t listedSweeps_ = 0;
};

QPointer<ScopeWindow> window;

} // namespace

void scopeShow(HWND hDlg, DWORD ulLower, DWORD ulUpper, DWORD ulTuned) {
    if (ulLower == 0 || ulUpper <= ulLower) {
        ulLower = ulTuned > MIN_FREQUENCY + AROUND_TUNED ? ulTuned - AROUND_TUNED : MIN_FREQUENCY;
        ulUpper = std::min(ulTuned + AROUND_TUNED, MAX_FREQUENCY);
    }
    if (!window) {
        window = new ScopeWindow(hDlg, DialogWidget(hDlg));
        window->offer(ulLower, ulUpper);
    }
    window->listTags();
    window->show();
    window->raise();
    window->activateWindow();
}

void scopeSetStations(const SCOPESTATIONS& stations) {
    stationSource = stations;
}

void scopeClose() {
    delete window.data();
}
