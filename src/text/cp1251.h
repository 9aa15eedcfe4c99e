// Windows-1251, the 8-bit code page of packed HTML and of the update server's payloads.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString decodeCp1251(QByteArrayView bytes);
// Characters that Windows-1251 cannot hold become numeric character references (&#N;),
// so an HTML text loses nothing on the way through the 8-bit code page.
QByteArray encodeCp1251Html(QStringView text);
// Whether every character of the text has a Windows-1251 byte.
bool fitsCp1251(QStringView text);
