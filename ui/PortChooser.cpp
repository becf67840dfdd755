#include "PortChooser.h"

#include "PosixLine.h"
#include "vemor/PortAdvice.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileInfo>
#include <QScreen>
#include <QSignalBlocker>

#include <algorithm>

namespace vemor {

namespace {

constexpr int PathRole = Qt::UserRole + 1; // a listed device's path; none for the COM items

QString Text(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

// What the device says of itself, fit to show.
QString DeviceText(const std::string& s) {
    return Text(ShownDeviceText(s));
}

// "FT232R USB UART, FTDI, A50285BI, ttyUSB0"; the kernel's name only where the path hides it.
QString Label(const PresentPort& p) {
    QStringList parts;
    for (const std::string* s : {&p.Product, &p.Maker, &p.Serial}) {
        if (!s->empty()) {
            parts << DeviceText(*s);
        }
    }
    if (!p.Kernel.empty() && !p.Path.ends_with("/" + p.Kernel)) {
        parts << Text(p.Kernel);
    }
    return parts.join(QStringLiteral(", "));
}

QString Details(const PresentPort& p) {
    QStringList lines{Text(p.Path)};
    const std::pair<const char*, const std::string*> fields[] = {
        {"Product: ", &p.Product}, {"Maker: ", &p.Maker}, {"Serial number: ", &p.Serial}};
    for (const auto& [name, value] : fields) {
        if (!value->empty()) {
            lines << QString::fromLatin1(name) + DeviceText(*value);
        }
    }
    if (!p.Kernel.empty()) {
        lines << QStringLiteral("Now /dev/") + Text(p.Kernel);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

PortChooser::PortChooser(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 16; ++i) {
        addItem(QStringLiteral("COM%1").arg(i));
    }
    addItem(QString());
    // The list shows a device with its label; the box holds the path alone, however the
    // line got there (chosen, completed, set).
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        const QString path = ListedPath(text);
        if (!path.isEmpty()) {
            setEditText(path);
            return;
        }
        ShowDetails();
    });
}

QString PortChooser::ListedPath(const QString& line) const {
    const int index = findText(line, Qt::MatchExactly);
    return index >= ComItems ? itemData(index, PathRole).toString() : QString();
}

int PortChooser::SelectedIndex() const {
    const int index = currentIndex();
    if (index < 0 || currentText() != itemText(index)) {
        return -1;
    }
    return index;
}

PortChooser::Choice PortChooser::Chosen() const {
    const int index = SelectedIndex();
    if (index >= 0 && index < ComItems) {
        return {index + 1, {}};
    }
    const QString line = currentText();
    const QString listed = ListedPath(line);
    const QString& text = listed.isEmpty() ? line : listed;
    if (text.startsWith(QLatin1Char('/'))) {
        return {0, text.toLocal8Bit().toStdString()};
    }
    return {0, {}};
}

void PortChooser::Refresh() {
    std::vector<PresentPort> ports = source_();
    if (ports == listed_) {
        return;
    }
    const int index = currentIndex();
    const bool typed = SelectedIndex() < 0 || index >= ComItems;
    const QString text = currentText();
    {
        const QSignalBlocker quiet(this);
        while (count() > ComItems) {
            removeItem(count() - 1);
        }
        if (!ports.empty()) {
            insertSeparator(ComItems);
        }
        for (const PresentPort& p : ports) {
            const QString label = Label(p);
            addItem(label.isEmpty() ? Text(p.Path)
                                    : QStringLiteral("%1   (%2)").arg(Text(p.Path), label));
            setItemData(count() - 1, Text(p.Path), PathRole);
            setItemData(count() - 1, Details(p), Qt::ToolTipRole);
        }
        if (typed) {
            setEditText(text);
        }
    }
    listed_ = std::move(ports);
    ShowDetails();
}

void PortChooser::showPopup() {
    Refresh();
    // Wide enough for a by-id name and its label, within the screen.
    const QFontMetrics metrics(view()->font());
    int widest = width();
    for (int i = 0; i < count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)) + 48);
    }
    if (screen() != nullptr) {
        widest = std::min(widest, screen()->availableGeometry().width() - 16);
    }
    view()->setMinimumWidth(widest);
    // The devices sit below the COM items: show them without scrolling.
    setMaxVisibleItems(std::clamp(count(), 10, 30));
    QComboBox::showPopup();
}

bool PortChooser::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        ShowDetails();
    }
    return QComboBox::event(e);
}

void PortChooser::ShowDetails() {
    // The whole name, however narrow the box, and the device it leads to now.
    const Choice choice = Chosen();
    const std::string name = choice.Number > 0 ? ResolvePortDevice(choice.Number) : choice.Path;
    if (name.empty()) {
        setToolTip(QString());
        return;
    }
    const auto it = std::find_if(listed_.begin(), listed_.end(),
                                 [&](const PresentPort& p) { return p.Path == choice.Path; });
    if (it != listed_.end()) {
        setToolTip(Details(*it));
        return;
    }
    QStringList lines;
    if (choice.Number > 0) {
        lines << QStringLiteral("COM%1: ").arg(choice.Number) + Text(name);
    } else {
        lines << Text(name);
    }
    const QString device = QFileInfo(Text(name)).canonicalFilePath();
    if (device.isEmpty()) {
        lines << QStringLiteral("Not present now");
    } else if (device != Text(name)) {
        lines << QStringLiteral("Now ") + device;
    }
    setToolTip(lines.join(QLatin1Char('\n')));
}

} // namespace vemor
