#pragma once
// Shared helpers of the window tests: what list controls show, file contents,
// and answering the next modal window.

#include "../forms/TempStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QPalette>
#include <QStringList>
#include <QTimer>

#include <functional>

inline QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

inline QStringList Texts(const QComboBox* box)
{
    QStringList texts;
    for (int row = 0; row < box->count(); ++row)
        texts << box->itemText(row);
    return texts;
}

// The selected row, -1 when none.
inline int Selected(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

inline QString ReadAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline bool WriteAll(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A dark theme's colours: light text on dark grounds.
inline QPalette DarkPalette()
{
    QPalette palette(QColor(0x35, 0x35, 0x35), QColor(0x20, 0x20, 0x20));
    palette.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    palette.setColor(QPalette::Link, QColor(0x6e, 0xb4, 0xff));
    return palette;
}

// Hands the next modal window to `answer` as soon as it shows.
inline void AnswerModal(QObject* context, std::function<void(QDialog*)> answer)
{
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, answer] {
        if (auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            answer(window);
        }
    });
    timer->start(5);
}
