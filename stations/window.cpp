// The station window: a thin Qt layer over the station queries. Every
// tuning it asks for goes through the control service (panel_state.h).
#include "stations/window.h"

#include "link/control.h"
#include "platform/dialog_qt.h"
#include "protocol/comexecute.h"
#include "protocol/radiostate.h"
#include "stations/panel.h"
#include "stations/panel_state.h"
#include "stations/query.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using namespace stations_panel;

enum View { VIEW_ALL, VIEW_ON_AIR, VIEW_NEAR, VIEW_MEMORIES };

enum Column {
    COL_FREQUENCY,
    COL_NAME,
    COL_MODE,
    COL_TIME,
    COL_DAYS,
    COL_LANGUAGE,
    COL_TARGET,
    COL_SOURCE,
    COLUMNS
};

constexpr std::array<const char*, COLUMNS> columnTitles{
    "Frequency (kHz)", "Name", "Mode", "UTC", "Days", "Language", "Target", "Source"};

// "On air now" is asked again this often while it is shown.
constexpr int ON_AIR_REFRESH_MS = 30000;
// Programming memories: how often the receiver's picture is looked at,
// and how long a tuning may take to be confirmed.
constexpr int PROGRAM_POLL_MS = 50;
constexpr auto PROGRAM_CONFIRM = std::chrono::seconds(5);

class StationModel final : public QAbstractTableModel {
  public:
    void show(const std::vector<Station>* pEntries, std::vector<std::size_t> rows,
              std::vector<OnAir> marks) {
        beginResetModel();
        entries = pEntries;
        shown = std::move(rows);
        uncertain = std::move(marks);
        endResetModel();
    }
    void markFrequency(DWORD ulFrequency) {
        tuned = ulFrequency;
        if (!shown.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, COLUMNS - 1));
        }
    }
    const Station* station(int row) const {
        return row >= 0 && static_cast<std::size_t>(row) < shown.size() && entries != nullptr
                   ? &(*entries)[shown[static_cast<std::size_t>(row)]]
                   : nullptr;
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(shown.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : COLUMNS;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < COLUMNS) {
            return QString::fromUtf8(columnTitles[static_cast<std::size_t>(section)]);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const Station* s = station(index.row());
        if (s == nullptr) {
            return {};
        }
        const bool bTuned =
            tuned != 0 && s->frequency != 0 &&
            (s->frequency > tuned ? s->frequency - tuned : tuned - s->frequency) <= TUNED_HERTZ;
        if (role == Qt::FontRole && bTuned) {
            QFont font;
            font.setBold(true);
            return font;
        }
        if (role == Qt::TextAlignmentRole && index.column() == COL_FREQUENCY) {
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) {
            return {};
        }
        const std::size_t row = static_cast<std::size_t>(index.row());
        switch (index.column()) {
        case COL_FREQUENCY: {
            const QString text =
                s->frequency != 0 ? QString::fromStdString(kilohertzText(s->frequency)) : "";
            // The row at the receiver's frequency is marked in words too.
            return bTuned ? QString::fromUtf8("\u25B6 ") + text : text;
        }
        case COL_NAME: {
            QString name = QString::fromStdString(s->name);
            if (row < uncertain.size() && uncertain[row] == OnAir::Uncertain) {
                name += " (irregular)";
            }
            return name;
        }
        case COL_MODE:
            return QString::fromStdString(s->mode);
        case COL_TIME:
            return QString::fromStdString(timesText(s->startMinute, s->endMinute));
        case COL_DAYS:
            return QString::fromStdString(s->days);
        case COL_LANGUAGE:
            return QString::fromStdString(s->language);
        case COL_TARGET:
            return QString::fromStdString(s->target);
        case COL_SOURCE:
            return QString::fromStdString(sourceLabel(*s));
        default:
            return {};
        }
    }

  private:
    const std::vector<Station>* entries = nullptr;
    std::vector<std::size_t> shown;
    std::vector<OnAir> uncertain;
    DWORD tuned = 0;
};

class StationWindow final : public QWidget {
  public:
    // A window of its own over parent (the dialog), whose modality would
    // otherwise keep the keyboard and the mouse from it.
    explicit StationWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
        setWindowTitle("Stations");
        setAccessibleName("Stations");
        auto* layout = new QVBoxLayout(this);

        auto* top = new QHBoxLayout;
        auto* searchLabel = new QLabel("&Search:");
        search = new QLineEdit;
        search->setObjectName("search");
        search->setAccessibleName("Search");
        search->setAccessibleDescription("Shows only the entries that hold every word typed");
        search->setClearButtonEnabled(true);
        searchLabel->setBuddy(search);
        auto* viewLabel = new QLabel("S&how:");
        view = new QComboBox;
        view->setObjectName("view");
        view->setAccessibleName("Show");
        view->addItems({"All stations", "On air now", "At this frequency", "Memories"});
        viewLabel->setBuddy(view);
        top->addWidget(searchLabel);
        top->addWidget(search, 1);
        top->addWidget(viewLabel);
        top->addWidget(view);
        layout->addLayout(top);

        table = new QTableView;
        table->setObjectName("table");
        table->setAccessibleName("Station list");
        table->setAccessibleDescription("Enter or a double click tunes the receiver to the entry");
        table->setModel(&model);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setTabKeyNavigation(false);
        table->verticalHeader()->hide();
        table->horizontalHeader()->setStretchLastSection(true);
        table->installEventFilter(this);
        layout->addWidget(table, 1);

        auto* buttons = new QHBoxLayout;
        const auto button = [&](const char* szText, const char* szName) {
            auto* b = new QPushButton(szText);
            b->setObjectName(szName);
            b->setAccessibleName(QString(szText).remove('&').remove("..."));
            buttons->addWidget(b);
            return b;
        };
        QPushButton* importButton = button("&Import...", "import");
        QPushButton* exportButton = button("&Export...", "export");
        QPushButton* nameButton = button("&Name Channel...", "name");
        QPushButton* programButton = button("&Program Memories...", "program");
        buttons->addStretch(1);
        layout->addLayout(buttons);
        status = new QLabel;
        status->setObjectName("status");
        status->setAccessibleName("Status");
        layout->addWidget(status);

        connect(search, &QLineEdit::textChanged, this, [this] { refilter(); });
        connect(search, &QLineEdit::returnPressed, this, [this] { tuneRow(currentRow()); });
        connect(view, &QComboBox::currentIndexChanged, this, [this] { rebuild(); });
        connect(table, &QTableView::doubleClicked, this,
                [this](const QModelIndex& index) { tuneRow(index.row()); });
        connect(importButton, &QPushButton::clicked, this, [this] { importFile(); });
        connect(exportButton, &QPushButton::clicked, this, [this] { exportFile(); });
        connect(nameButton, &QPushButton::clicked, this, [this] { nameChannel(); });
        connect(programButton, &QPushButton::clicked, this, [this] { programMemories(); });
        onAirTimer.setInterval(ON_AIR_REFRESH_MS);
        connect(&onAirTimer, &QTimer::timeout, this, [this] {
            if (view->currentIndex() == VIEW_ON_AIR) {
                rebuild();
            }
        });
        onAirTimer.start();
        programTimer.setInterval(PROGRAM_POLL_MS);
        connect(&programTimer, &QTimer::timeout, this, [this] { programStep(); });

        // Escape closes the window, as it closes the program's boxes.
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(escape, &QShortcut::activated, this, &QWidget::close);

        resize(820, 480);
        if (database() == nullptr) {
            status->setText("No station list: " + QString::fromStdString(databasePath()) +
                            " could not be opened.");
        }
        reload();
    }

    ~StationWindow() override {
        if (importer.joinable()) {
            importer.join();
        }
    }

    void reload() {
        index = std::make_unique<SearchIndex>(entries());
        memoryEntries.clear();
        if (StationDatabase* db = database()) {
            std::vector<MemoryRecord> known = db->memories();
            for (unsigned channel = MIN_MEMORY; channel <= MAX_MEMORY; ++channel) {
                Station s;
                s.id = -static_cast<std::int64_t>(channel);
                s.source = Source::Memory;
                s.sourceFile = std::to_string(channel);
                for (const MemoryRecord& m : known) {
                    if (m.channel == channel) {
                        s.frequency = m.frequency;
                        s.mode = modeWord(m.mode);
                        s.name = m.name;
                    }
                }
                memoryEntries.push_back(std::move(s));
            }
        }
        memoryIndex = std::make_unique<SearchIndex>(memoryEntries);
        rebuild();
    }

    void follow(DWORD ulFrequency) {
        model.markFrequency(ulFrequency);
        if (view->currentIndex() == VIEW_NEAR) {
            rebuild();
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == table && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                tuneRow(currentRow());
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

  private:
    const std::vector<Station>& current() const {
        return view->currentIndex() == VIEW_MEMORIES ? memoryEntries : entries();
    }
    const SearchIndex& currentIndex() const {
        return view->currentIndex() == VIEW_MEMORIES ? *memoryIndex : *index;
    }

    int currentRow() const {
        const int row = table->currentIndex().row();
        return row >= 0 ? row : (model.rowCount() > 0 ? 0 : -1);
    }

    // The rows of the view before the search narrows them.
    void rebuild() {
        baseRows.clear();
        baseMarks.clear();
        const std::vector<Station>& list = current();
        switch (view->currentIndex()) {
        case VIEW_ON_AIR:
            for (const Hit& hit : onAirNow(list, utcNow())) {
                baseRows.push_back(hit.index);
                baseMarks.push_back(hit.onAir);
            }
            break;
        case VIEW_NEAR:
            baseRows = nearFrequency(list, tunedFrequency());
            break;
        default:
            for (std::size_t i = 0; i < list.size(); ++i) {
                baseRows.push_back(i);
            }
            break;
        }
        shownText.clear();
        shownRows = baseRows;
        refilter();
    }

    // Per keystroke: one more letter only narrows what is shown already.
    void refilter() {
        const std::string text = search->text().toStdString();
        const bool bNarrowing = !shownText.empty() && text.starts_with(shownText);
        shownRows = currentIndex().narrow(bNarrowing ? shownRows : baseRows, text);
        shownText = text;
        std::vector<OnAir> marks;
        if (!baseMarks.empty()) {
            marks.reserve(shownRows.size());
            std::size_t b = 0;
            for (std::size_t row : shownRows) {
                while (b < baseRows.size() && baseRows[b] != row) {
                    ++b;
                }
                marks.push_back(b < baseMarks.size() ? baseMarks[b] : OnAir::Yes);
            }
        }
        model.show(&current(), shownRows, std::move(marks));
        model.markFrequency(tunedFrequency());
        if (model.rowCount() > 0) {
            table->setCurrentIndex(model.index(0, 0));
        }
    }

    void tuneRow(int row) {
        const Station* s = model.station(row);
        if (s == nullptr || s->frequency == 0) {
            return;
        }
        std::string why;
        if (tune(*s, &why)) {
            status->setText(QString::fromUtf8("Tuned to ") +
                            QString::fromStdString(kilohertzText(s->frequency)) + " kHz " +
                            QString::fromStdString(s->name));
        } else {
            status->setText(QString::fromStdString("Not tuned: " + why));
        }
    }

    void importFile() {
        if (importer.joinable()) {
            return; // one at a time
        }
        const QString file = QFileDialog::getOpenFileName(
            this, "Import Stations", QString(), "Station files (*.csv *.txt);;All files (*)");
        if (file.isEmpty()) {
            return;
        }
        status->setText("Importing " + file + "...");
        QPointer<StationWindow> self(this);
        const std::string path = file.toStdString();
        const std::string dbPath = databasePath();
        // Off the dialog's thread, on its own connection: polling goes on.
        importer = std::thread([self, path, dbPath] {
            const std::string result = importOne(path, dbPath);
            QMetaObject::invokeMethod(
                qApp,
                [self, result] {
                    if (self) {
                        self->importer.join();
                        self->status->setText(QString::fromStdString(result));
                        if (stations_panel::reload()) {
                            self->reload();
                        }
                    }
                },
                Qt::QueuedConnection);
        });
    }

    static std::string importOne(const std::string& path, const std::string& dbPath) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        if (!in) {
            return "Cannot read " + path;
        }
        const std::string name = path.substr(path.find_last_of('/') + 1);
        const ParsedFile f = parseFile(content.str(), name);
        if (f.format == FileFormat::Unknown) {
            return path + " is not a schedule, bookmarks or station CSV file";
        }
        DatabaseOpen opened;
        auto db = StationDatabase::open(dbPath, &opened);
        if (!db) {
            return "Cannot open the station list: " + opened.error;
        }
        const Source source = f.format == FileFormat::Schedule    ? Source::Schedule
                              : f.format == FileFormat::Bookmarks ? Source::Bookmarks
                                                                  : Source::Csv;
        std::string error;
        if (!db->replaceImport(f, source, name, &error)) {
            return "Not imported, the list is unchanged: " + error;
        }
        std::string text = name + ": " + std::to_string(f.stations.size()) + " entries imported";
        if (f.skipped > 0) {
            text += ", " + std::to_string(f.skipped) + " lines skipped (line";
            text += f.skippedLines.size() > 1 ? "s " : " ";
            for (std::size_t i = 0; i < f.skippedLines.size(); ++i) {
                text += (i != 0 ? ", " : "") + std::to_string(f.skippedLines[i]);
            }
            text += static_cast<std::size_t>(f.skipped) > f.skippedLines.size() ? ", ...)" : ")";
        }
        return text;
    }

    void exportFile() {
        QString filter;
        const QString file =
            QFileDialog::getSaveFileName(this, "Export Stations", QString(),
                                         "Station CSV (*.csv);;Bookmarks (bookmarks.csv)", &filter);
        if (file.isEmpty() || database() == nullptr) {
            return;
        }
        const std::string text = filter.startsWith("Bookmarks")
                                     ? writeBookmarks(entries(), database()->tagColours())
                                     : writeCsv(entries());
        std::ofstream out(file.toStdString(), std::ios::binary);
        out << text;
        out.close();
        status->setText(out ? "Exported to " + file : "Cannot write " + file);
    }

    void nameChannel() {
        StationDatabase* db = database();
        if (db == nullptr) {
            return;
        }
        const Station* s = model.station(table->currentIndex().row());
        int channel = s != nullptr && s->source == Source::Memory ? std::stoi(s->sourceFile) : 1;
        bool bOk = false;
        channel = QInputDialog::getInt(this, "Name Channel", "Memory channel:", channel, MIN_MEMORY,
                                       MAX_MEMORY, 1, &bOk);
        if (!bOk) {
            return;
        }
        const QString name = QInputDialog::getText(
            this, "Name Channel", QString("Name of channel %1:").arg(channel), QLineEdit::Normal,
            QString::fromStdString(stationsMemoryName(static_cast<DWORD>(channel))), &bOk);
        if (!bOk) {
            return;
        }
        std::string error;
        if (!db->nameMemory(static_cast<unsigned>(channel), name.trimmed().toStdString(), &error)) {
            status->setText(QString::fromStdString("Not named: " + error));
            return;
        }
        stations_panel::reload();
        reload();
    }

    // ---- programming memories --------------------------------------------

    void programMemories() {
        if (programTimer.isActive()) {
            return;
        }
        std::vector<Station> chosen;
        for (const QModelIndex& row : table->selectionModel()->selectedRows()) {
            if (const Station* s = model.station(row.row()); s != nullptr && s->frequency != 0) {
                chosen.push_back(*s);
            }
        }
        if (chosen.empty()) {
            status->setText("Select the stations to program first.");
            return;
        }
        bool bOk = false;
        const int first = QInputDialog::getInt(this, "Program Memories", "First channel:", 1,
                                               MIN_MEMORY, MAX_MEMORY, 1, &bOk);
        if (!bOk) {
            return;
        }
        const int last = first + static_cast<int>(chosen.size()) - 1;
        if (last > static_cast<int>(MAX_MEMORY)) {
            QMessageBox::warning(this, "Program Memories",
                                 QString("%1 stations do not fit from channel %2 (the last is %3).")
                                     .arg(chosen.size())
                                     .arg(first)
                                     .arg(MAX_MEMORY));
            return;
        }
        const QString question =
            QString("Write %1 stations into channels %2 to %3?\nWhat these channels hold now is "
                    "replaced.")
                .arg(chosen.size())
                .arg(first)
                .arg(last);
        if (QMessageBox::question(this, "Program Memories", question,
                                  QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
            return;
        }
        program = std::move(chosen);
        programNext = 0;
        programFirst = static_cast<unsigned>(first);
        progress = new QProgressDialog("Programming memories...", "Stop", 0,
                                       static_cast<int>(program.size()), this);
        progress->setAccessibleName("Programming memories");
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        progress->setAttribute(Qt::WA_DeleteOnClose);
        connect(progress, &QProgressDialog::canceled, this, [this] {
            programEnd(QString("Stopped: channels %1 to %2 written.")
                           .arg(programFirst)
                           .arg(programFirst + programNext - 1));
        });
        startEntry();
        programTimer.start();
    }

    void startEntry() {
        const Station& s = program[programNext];
        std::string why;
        if (!tune(s, &why)) {
            programEnd(QString::fromStdString(
                "Stopped at channel " + std::to_string(programFirst + programNext) + ": " + why));
            return;
        }
        programSince = std::chrono::steady_clock::now();
        if (progress) {
            progress->setLabelText(QString("Channel %1: %2 kHz %3")
                                       .arg(programFirst + programNext)
                                       .arg(QString::fromStdString(kilohertzText(s.frequency)))
                                       .arg(QString::fromStdString(s.name)));
        }
    }

    // Each tick: once the receiver reports the entry's frequency (and
    // mode), Write stores it and the next entry is tuned.
    void programStep() {
        if (program.empty()) {
            programTimer.stop();
            return;
        }
        const unsigned channel = programFirst + static_cast<unsigned>(programNext);
        if (radio.bLock) {
            programEnd(QString("The receiver is locked: programming stopped before channel %1. "
                               "Clear the receiver's Lock and start again.")
                           .arg(channel));
            return;
        }
        const Station& s = program[programNext];
        const unsigned uMode = receiverMode(s.mode);
        const bool bThere =
            radio.ulFrequency == s.frequency && (uMode == 0 || radio.uMode == uMode);
        if (!bThere) {
            if (std::chrono::steady_clock::now() - programSince > PROGRAM_CONFIRM) {
                programEnd(QString("Stopped at channel %1: the receiver did not report %2 kHz.")
                               .arg(channel)
                               .arg(QString::fromStdString(kilohertzText(s.frequency))));
            }
            return;
        }
        controlMemoryWrite(channel, REQUEST_OPERATOR);
        stationsMemoryWritten(channel, s.frequency, radio.uMode);
        if (!s.name.empty() && s.source != Source::Memory && database() != nullptr) {
            database()->nameMemory(channel, s.name);
        }
        ++programNext;
        if (progress) {
            progress->setValue(static_cast<int>(programNext));
        }
        if (programNext == program.size()) {
            programEnd(QString("Channels %1 to %2 written.").arg(programFirst).arg(channel));
            return;
        }
        startEntry();
    }

    void programEnd(const QString& text) {
        programTimer.stop();
        program.clear();
        if (progress) {
            progress->disconnect(this);
            progress->close();
        }
        status->setText(text);
        stations_panel::reload();
        reload();
    }

  public:
    // Ends the import thread before the window goes.
    std::thread importer;

  private:
    QLineEdit* search = nullptr;
    QComboBox* view = nullptr;
    QTableView* table = nullptr;
    QLabel* status = nullptr;
    StationModel model;
    std::unique_ptr<SearchIndex> index;
    std::unique_ptr<SearchIndex> memoryIndex;
    std::vector<Station> memoryEntries;
    std::vector<std::size_t> baseRows;
    std::vector<OnAir> baseMarks;
    std::vector<std::size_t> shownRows;
    std::string shownText;
    QTimer onAirTimer;
    QTimer programTimer;
    std::vector<Station> program;
    std::size_t programNext = 0;
    unsigned programFirst = 1;
    std::chrono::steady_clock::time_point programSince;
    QPointer<QProgressDialog> progress;
};

QPointer<StationWindow> window;

} // namespace

QWidget* stationsWindow() {
    return window.data();
}

void stationsShowWindow() {
    if (!window) {
        window = new StationWindow(DialogWidget(stations_panel::dialog()));
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void stationsWindowFollow(DWORD ulFrequency) {
    if (window) {
        window->follow(ulFrequency);
    }
}

void stationsWindowReload() {
    if (window) {
        window->reload();
    }
}

void stationsWindowClose() {
    delete window.data();
}
