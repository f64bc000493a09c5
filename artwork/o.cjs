/* Tabrivo's skin: the Qt style sheet of the main window (Form1).
   Meant for Form1->setStyleSheet(); it reaches every control in the window.
   Light neutral surfaces, one accent colour (teal #0f766e), 1 px borders,
   5 px corners. Nothing here changes a control's size or place: the window
   sets every geometry itself; paddings only move text inside its control. */

/* ---- window ---------------------------------------------------------- */
QMainWindow {
    background-color: #f4f5f7;
}

QToolTip {
    color: #1f2937;
    background-color: #ffffff;
    border: 1px solid #c3cad4;
    padding: 3px 5px;
}

/* ---- buttons --------------------------------------------------------- */
QPushButton {
    color: #1f2937;
    background-color: #ffffff;
    border: 1px solid #b9c1cc;
    border-radius: 5px;
    padding: 2px 10px;
}
QPushButton:hover {
    background-color: #f0f7f6;
    border-color: #0f766e;
}
QPushButton:pressed {
    background-color: #dcefec;
    border-color: #0b5d56;
}
QPushButton:focus {
    border-color: #0f766e;
}
QPushButton:disabled {
    color: #9aa3ae;
    background-color: #f1f3f5;
    border-color: #d5dae1;
}

/* The "..." button beside the folder box is narrow: keep its text clear. */
QPushButton#PushButton4 {
    padding: 0px 2px;
    font-weight: bold;
}

/* The primary action, "Start Converting", in the accent colour. */
QPushButton#PushButton2 {
    color: #ffffff;
    background-color: #0f766e;
    border: 1px solid #0b5d56;
    font-weight: bold;
}
QPushButton#PushButton2:hover {
    background-color: #118278;
    border-color: #0b5d56;
}
QPushButton#PushButton2:pressed {
    background-color: #0b5d56;
    border-color: #094b45;
}
QPushButton#PushButton2:focus {
    border-color: #063e39;
}
QPushButton#PushButton2:disabled {
    color: #eef7f6;
    background-color: #93c5bf;
    border-color: #84b8b2;
}

/* ---- the file list ----------------------------------------------------- */
QTreeWidget#ListView1 {
    color: #1f2937;
    background-color: #ffffff;
    border: 1px solid #b9c1cc;
    border-radius: 5px;
    selection-color: #0f172a;
    selection-background-color: #cdebe7;
    outline: 0;
}
QTreeWidget#ListView1:focus {
    border-color: #0f766e;
}
QTreeWidget#ListView1::item {
    padding: 2px 2px;
    border-bottom: 1px solid #eef0f3;
}
QTreeWidget#ListView1::item:hover {
    background-color: #f0f7f6;
}
QTreeWidget#ListView1::item:selected {
    color: #0f172a;
    background-color: #cdebe7;
}

/* The column header, "HTML File(s)". */
QTreeWidget#ListView1 QHeaderView {
    background-color: #eef1f4;
    border: none;
    border-top-left-radius: 5px;
    border-top-right-radius: 5px;
}
QTreeWidget#ListView1 QHeaderView::section {
    color: #334155;
    background-color: #eef1f4;
    border: none;
    border-bottom: 1px solid #d3d9e0;
    border-right: 1px solid #d3d9e0;
    padding: 3px 6px;
    font-weight: bold;
}

/* Slim scroll bars inside the list. */
QTreeWidget#ListView1 QScrollBar:horizontal {
    background: #f4f5f7;
    height: 12px;
    margin: 0px;
    border: none;
}
QTreeWidget#ListView1 QScrollBar:vertical {
    background: #f4f5f7;
    width: 12px;
    margin: 0px;
    border: none;
}
QTreeWidget#ListView1 QScrollBar::handle:horizontal {
    background: #c3cad4;
    min-width: 24px;
    border-radius: 3px;
    margin: 3px 2px;
}
QTreeWidget#ListView1 QScrollBar::handle:vertical {
    background: #c3cad4;
    min-height: 24px;
    border-radius: 3px;
    margin: 2px 3px;
}
QTreeWidget#ListView1 QScrollBar::handle:hover {
    background: #94a3b8;
}
QTreeWidget#ListView1 QScrollBar::add-line,
QTreeWidget#ListView1 QScrollBar::sub-line {
    width: 0px;
    height: 0px;
    border: none;
    background: none;
}
QTreeWidget#ListView1 QScrollBar::add-page,
QTreeWidget#ListView1 QScrollBar::sub-page {
    background: none;
}

/* ---- save option ------------------------------------------------------- */
/* The margin only lowers the frame line under the title; the controls
   inside keep their places. */
QGroupBox#Frame3 {
    color: #1f2937;
    background-color: transparent;
    border: 1px solid #d0d6de;
    border-radius: 6px;
    margin-top: 8px;
    font-weight: bold;
}
QGroupBox#Frame3::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 10px;
    padding: 0px 4px;
    color: #0f766e;
    background-color: #f4f5f7;
}
QGroupBox#Frame3::title:disabled {
    color: #9aa3ae;
}
QGroupBox#Frame3 QRadioButton,
QGroupBox#Frame3 QLineEdit,
QGroupBox#Frame3 QPushButton {
    font-weight: normal;
}
QGroupBox#Frame3 QPushButton#PushButton4 {
    font-weight: bold;
}

/* The untitled box around the folder field. */
QGroupBox#Frame1 {
    background-color: #ffffff;
    border: 1px solid #e1e5ea;
    border-radius: 5px;
    margin-top: 8px;
}

QRadioButton {
    color: #1f2937;
    spacing: 6px;
}
QRadioButton:disabled {
    color: #9aa3ae;
}
QRadioButton::indicator {
    width: 12px;
    height: 12px;
    border: 1px solid #8893a2;
    border-radius: 7px;
    background-color: #ffffff;
}
QRadioButton::indicator:hover {
    border-color: #0f766e;
}
QRadioButton::indicator:checked {
    border-color: #0f766e;
    background-color: qradialgradient(cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5,
        stop: 0 #0f766e, stop: 0.48 #0f766e, stop: 0.56 #ffffff, stop: 1 #ffffff);
}
QRadioButton::indicator:disabled {
    border-color: #c3cad4;
    background-color: #f1f3f5;
}
QRadioButton::indicator:checked:disabled {
    background-color: qradialgradient(cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5,
        stop: 0 #a9b2bd, stop: 0.48 #a9b2bd, stop: 0.56 #f1f3f5, stop: 1 #f1f3f5);
}

QLineEdit#Text2 {
    color: #1f2937;
    background-color: #ffffff;
    border: 1px solid #b9c1cc;
    border-radius: 4px;
    padding: 0px 5px;
    selection-color: #ffffff;
    selection-background-color: #0f766e;
}
QLineEdit#Text2:hover {
    border-color: #94a3b8;
}
QLineEdit#Text2:focus {
    border-color: #0f766e;
}
QLineEdit#Text2:disabled {
    color: #9aa3ae;
    background-color: #f1f3f5;
    border-color: #d5dae1;
}

/* ---- progress ---------------------------------------------------------- */
/* Dark text on a light tint of the accent: readable over the filled part
   and over the empty part alike. */
QProgressBar#ProgressBar1 {
    color: #0f172a;
    background-color: #ffffff;
    border: 1px solid #b9c1cc;
    border-radius: 5px;
    text-align: center;
}
QProgressBar#ProgressBar1::chunk {
    background-color: #a7ddd6;
    border-radius: 4px;
    margin: 1px;
}
