#include "app/dialogs/parameter_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace moravel {
namespace {

QString utf8ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr std::array<const char*, 4> kAxisLetters{"X", "Y", "Z", "C"};

// Mechanik: where each quantity's frame stands and the unit right of its fields. A frame is
// found by the key of its first field on the screen; its title is the row's dialogLabel.
struct FramePlace {
    ParameterKey key;
    int row, column, columnSpan;
    const char* unit; // null: no unit text
};
constexpr FramePlace kMechanikFrames[] = {
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT), 0, 0, 1, "Schritte / mm"},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG), 0, 1, 2, "Schritte"},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG), 1, 0, 1, "mm"},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG), 1, 1, 1, nullptr},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR), 1, 2, 1, nullptr},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_PARKPOSITION_LONG), 2, 0, 1, "mm"},
    {ParameterKey(HBYTE_MECHANIK, LBYTE_MECHANIK_NULLPUNKT_LONG), 2, 1, 2, "mm"},
};

// Wide enough for "-32767" or "123.457" with room to spare.
int numberFieldWidth(const QWidget* w) { return w->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 9 + 12; }

} // namespace

QWidget* ParameterDialog::Control::widget() const
{
    if (edit)
        return edit;
    if (combo)
        return combo;
    if (check)
        return check;
    return radios[0];
}

ParameterDialog::ParameterDialog(const DialogForm& form, UserInteraction& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_form(form),
      m_ui(ui),
      m_members(newMembers(form)),
      m_controls(form.fields.size())
{
    setWindowTitle(utf8ToQString(form.title()));
    setObjectName(utf8ToQString(form.title()));

    auto* content = new QGridLayout;
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        createControl(i);
    switch (form.layout) {
    case DialogLayout::LabelRows:
        layoutLabelRows(content);
        break;
    case DialogLayout::AxisFrames:
        layoutAxisFrames(content);
        break;
    case DialogLayout::Homing:
        layoutHoming(content);
        break;
    }

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch();

    auto* top = new QHBoxLayout(this);
    top->addLayout(content);
    top->addSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize); // sized to its content, not resizable

    // Tab order: the fields in screen order (every radio button of a column), then the buttons.
    QWidget* previous = nullptr;
    const auto chain = [&previous](QWidget* w) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    };
    for (std::uint8_t i : form.screenOrder) {
        const Control& c = m_controls[i];
        if (c.group)
            for (QRadioButton* r : c.radios)
                chain(r);
        else
            chain(c.widget());
    }
    chain(m_ok);
    chain(m_cancel);
    m_controls[form.screenOrder.front()].widget()->setFocus();
}

void ParameterDialog::createControl(std::size_t i)
{
    const DialogField& f = m_form.fields[i];
    const ParameterInfo& p = f.parameter();
    const QString name = QStringLiteral("field%1").arg(f.id);
    Control& c = m_controls[i];
    switch (f.kind()) {
    case FieldKind::Integer:
    case FieldKind::Float:
        c.edit = new QLineEdit(this);
        c.edit->setFixedWidth(numberFieldWidth(this));
        break;
    case FieldKind::Text:
        c.edit = new QLineEdit(this);
        c.edit->setMaxLength(static_cast<int>(p.dialogMaxChars)); // typing stops there
        c.edit->setMinimumWidth(fontMetrics().averageCharWidth() * static_cast<int>(p.dialogMaxChars) + 16);
        break;
    case FieldKind::Combo:
    case FieldKind::HomingDirection: {
        c.combo = new QComboBox(this);
        c.combo->setEditable(true);
        c.combo->setInsertPolicy(QComboBox::NoInsert); // the list is fixed
        c.combo->setCompleter(nullptr);                // the text is what the user typed
        for (const std::string& entry : comboEntries(f))
            c.combo->addItem(utf8ToQString(entry));
        c.combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        c.combo->setMinimumWidth(c.combo->sizeHint().width() + fontMetrics().averageCharWidth() * 2);
        break;
    }
    case FieldKind::CheckBox:
        c.check = new QCheckBox(
            QStringLiteral("%1 :").arg(QLatin1String(kAxisLetters[static_cast<std::size_t>(f.axis)])), this);
        c.check->setLayoutDirection(Qt::RightToLeft); // the text left of the box
        break;
    case FieldKind::HomingColumn:
        c.group = new QButtonGroup(this);
        c.group->setExclusive(true); // one axis per column; the columns are independent
        for (int axis = 0; axis < 4; ++axis) {
            auto* r = new QRadioButton(this);
            r->setObjectName(QStringLiteral("field%1").arg(f.id + 4 * axis));
            r->setAccessibleName(QStringLiteral("%1. %2")
                                     .arg(f.step() + 1)
                                     .arg(QLatin1String(kAxisLetters[static_cast<std::size_t>(axis)])));
            c.group->addButton(r, axis);
            c.radios[static_cast<std::size_t>(axis)] = r;
        }
        return;
    }
    c.widget()->setObjectName(name);
}

// The height of the grid row that holds a frame's title: the title and the frame's own top
// margin.
int ParameterDialog::frameTitleHeight() const
{
    return fontMetrics().height() + style()->pixelMetric(QStyle::PM_LayoutTopMargin) / 2;
}

// A frame drawn behind a block of grid cells, so that the fields inside it stay aligned with
// the fields outside.
void ParameterDialog::addFrame(QGridLayout* grid, const QString& title, int row, int column, int rowSpan,
                               int columnSpan)
{
    auto* box = new QGroupBox(title, this);
    grid->addWidget(box, row, column, rowSpan, columnSpan);
    box->lower();
}

void ParameterDialog::layoutLabelRows(QGridLayout* grid)
{
    // Columns: frame margin, label, field, frame margin. Rows inside a frame have a title row
    // above them and a margin row below.
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    grid->setColumnMinimumWidth(0, margin);
    grid->setColumnMinimumWidth(3, margin);
    int row = 0;
    int frameTop = -1;
    std::string_view frame;
    const auto closeFrame = [&] {
        if (frameTop < 0)
            return;
        grid->setRowMinimumHeight(row++, margin);
        addFrame(grid, utf8ToQString(frame), frameTop, 0, row - frameTop, 4);
        frameTop = -1;
    };
    for (std::uint8_t i : m_form.screenOrder) {
        const ParameterInfo& p = m_form.fields[i].parameter();
        if (p.dialogFrame != frame) {
            closeFrame();
            frame = p.dialogFrame;
            if (!frame.empty()) {
                frameTop = row;
                grid->setRowMinimumHeight(row++, frameTitleHeight());
            }
        }
        auto* label = new QLabel(utf8ToQString(p.dialogLabel), this);
        label->setBuddy(m_controls[i].widget());
        if (frameTop >= 0)
            grid->addWidget(label, row, 1);
        else
            grid->addWidget(label, row, 0, 1, 2);
        // Number fields keep their width; combo boxes and the name field fill the column.
        if (m_controls[i].edit && m_form.fields[i].kind() != FieldKind::Text)
            grid->addWidget(m_controls[i].widget(), row, 2, Qt::AlignLeft);
        else
            grid->addWidget(m_controls[i].widget(), row, 2);
        ++row;
    }
    closeFrame();
}

void ParameterDialog::layoutAxisFrames(QGridLayout* grid)
{
    // Group the fields by frame (the row's dialogLabel), in screen order.
    struct Frame {
        std::string_view title;
        std::vector<std::uint8_t> fields;
    };
    std::vector<Frame> frames;
    for (std::uint8_t i : m_form.screenOrder) {
        const std::string_view title = m_form.fields[i].parameter().dialogLabel;
        auto it = std::find_if(frames.begin(), frames.end(), [title](const Frame& f) { return f.title == title; });
        if (it == frames.end())
            it = frames.insert(frames.end(), Frame{title, {}});
        it->fields.push_back(i);
    }

    for (const Frame& frame : frames) {
        const DialogField& first = m_form.fields[frame.fields.front()];
        const auto place = std::find_if(std::begin(kMechanikFrames), std::end(kMechanikFrames),
                                        [&first](const FramePlace& p) { return p.key == first.key; });
        auto* box = new QGroupBox(utf8ToQString(frame.title), this);
        auto* inner = new QGridLayout(box);
        // Columns: row label, then field and unit per column ("von", "bis").
        std::vector<std::string_view> columns;
        for (std::uint8_t i : frame.fields) {
            const std::string_view column = m_form.fields[i].parameter().dialogColumn;
            if (std::find(columns.begin(), columns.end(), column) == columns.end())
                columns.push_back(column);
        }
        const int headRows = columns.size() > 1 || !columns.front().empty() ? 1 : 0;
        for (std::size_t c = 0; c < columns.size() && headRows; ++c)
            inner->addWidget(new QLabel(utf8ToQString(columns[c]), box), 0, 1 + 2 * static_cast<int>(c),
                             Qt::AlignLeft | Qt::AlignBottom);
        for (int axis = 0; axis < 4; ++axis)
            if (m_form.fields[frame.fields.front()].kind() != FieldKind::CheckBox)
                inner->addWidget(
                    new QLabel(QStringLiteral("%1 : ").arg(QLatin1String(kAxisLetters[static_cast<std::size_t>(axis)])),
                               box),
                    headRows + axis, 0);
        for (std::uint8_t i : frame.fields) {
            const DialogField& f = m_form.fields[i];
            const int c = static_cast<int>(std::find(columns.begin(), columns.end(), f.parameter().dialogColumn) -
                                           columns.begin());
            QWidget* w = m_controls[i].widget();
            w->setParent(box);
            inner->addWidget(w, headRows + f.axis, 1 + 2 * c, Qt::AlignLeft);
            if (place != std::end(kMechanikFrames) && place->unit)
                inner->addWidget(new QLabel(QLatin1String(place->unit), box), headRows + f.axis, 2 + 2 * c);
        }
        inner->setColumnStretch(inner->columnCount(), 1);
        inner->setRowStretch(headRows + 4, 1);
        if (place != std::end(kMechanikFrames))
            grid->addWidget(box, place->row, place->column, 1, place->columnSpan);
        else
            grid->addWidget(box, grid->rowCount(), 0, 1, 3);
    }
}

void ParameterDialog::layoutHoming(QGridLayout* grid)
{
    // Columns: axis label, frame margin, combo, frame margin, frame margin, steps 1-4, frame
    // margin. Rows: frame title, column heads, X, Y, Z, C, frame margin.
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    for (int column : {1, 3, 4, 9})
        grid->setColumnMinimumWidth(column, margin);
    grid->setRowMinimumHeight(0, frameTitleHeight());
    grid->setRowMinimumHeight(6, margin);
    addFrame(grid, QStringLiteral("Richtung"), 0, 1, 7, 3);
    addFrame(grid, QStringLiteral("Reihenfolge"), 0, 4, 7, 6);
    for (int axis = 0; axis < 4; ++axis)
        grid->addWidget(
            new QLabel(QStringLiteral("%1 :").arg(QLatin1String(kAxisLetters[static_cast<std::size_t>(axis)])), this),
            2 + axis, 0);
    for (int step = 0; step < 4; ++step)
        grid->addWidget(new QLabel(QStringLiteral("%1.").arg(step + 1), this), 1, 5 + step, Qt::AlignCenter);
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        const DialogField& f = m_form.fields[i];
        if (f.kind() == FieldKind::HomingDirection) {
            grid->addWidget(m_controls[i].widget(), 2 + f.element, 2);
        } else {
            for (int axis = 0; axis < 4; ++axis)
                grid->addWidget(m_controls[i].radios[static_cast<std::size_t>(axis)], 2 + axis, 5 + f.step(),
                                Qt::AlignCenter);
            grid->setColumnMinimumWidth(5 + f.step(), fontMetrics().horizontalAdvance(QStringLiteral("00.")) + margin);
        }
    }
}

QWidget* ParameterDialog::fieldWidget(std::size_t i) const { return m_controls[i].widget(); }

QRadioButton* ParameterDialog::radioButton(int step, int axis) const
{
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_form.fields[i].kind() == FieldKind::HomingColumn && m_form.fields[i].step() == step)
            return m_controls[i].radios[static_cast<std::size_t>(axis)];
    return nullptr;
}

void ParameterDialog::setMembers(const DialogMembers& members)
{
    m_members = members;
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        showControl(i, controlValue(m_form.fields[i], m_members.fields[i]));
}

void ParameterDialog::showControl(std::size_t i, const ControlValue& value)
{
    const Control& c = m_controls[i];
    if (c.edit) {
        c.edit->setText(utf8ToQString(value.text));
    } else if (c.combo) {
        std::vector<std::string> entries;
        for (int k = 0; k < c.combo->count(); ++k)
            entries.push_back(c.combo->itemText(k).toStdString());
        if (const std::optional<std::size_t> k = findComboEntry(entries, value.text))
            c.combo->setCurrentIndex(static_cast<int>(*k));
        else
            c.combo->setEditText(utf8ToQString(value.text));
    } else if (c.check) {
        c.check->setChecked(value.state != 0);
    } else {
        // An exclusive group cannot be cleared button by button.
        c.group->setExclusive(false);
        for (int axis = 0; axis < 4; ++axis)
            c.radios[static_cast<std::size_t>(axis)]->setChecked(axis == value.state);
        c.group->setExclusive(true);
    }
}

ControlValue ParameterDialog::readControl(std::size_t i) const
{
    const Control& c = m_controls[i];
    if (c.edit)
        return {c.edit->text().toStdString(), 0};
    if (c.combo)
        return {c.combo->currentText().toStdString(), 0};
    if (c.check)
        return {{}, c.check->isChecked() ? 1 : 0};
    return {{}, c.group->checkedId()};
}

void ParameterDialog::focusField(std::size_t i)
{
    const Control& c = m_controls[i];
    c.widget()->setFocus(Qt::OtherFocusReason);
    if (c.edit)
        c.edit->selectAll();
    else if (c.combo)
        c.combo->lineEdit()->selectAll();
}

void ParameterDialog::accept()
{
    std::vector<ControlValue> controls;
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        controls.push_back(readControl(i));
    if (const std::optional<FieldFailure> failure = exchange(m_form, controls, m_members)) {
        m_ui.showMessage(failure->message);
        focusField(failure->field);
        return;
    }
    QDialog::accept();
}

namespace {

// The modal part of the command: the Qt dialog, alive for this one command.
class QtDialogPresenter : public DialogPresenter {
public:
    QtDialogPresenter(QWidget* parent, UserInteraction& ui) : m_parent(parent), m_ui(ui) {}

    bool showModal(const DialogForm& form, DialogMembers& members) override
    {
        ParameterDialog dialog(form, m_ui, m_parent);
        dialog.setMembers(members);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        members = dialog.members();
        return true;
    }

private:
    QWidget* m_parent;
    UserInteraction& m_ui;
};

} // namespace

DialogOutcome runParameterDialog(DialogId id, QWidget* parent, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    QtDialogPresenter presenter(parent, ui);
    return runDialogCommand(id, doc, ui, presenter);
}

} // namespace moravel
