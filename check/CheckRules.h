#pragma once
// What makes trd-check list a translation row: not translated (kind N), a
// destination text too long for the place its source text fills on the
// screen (kind E, the size rule of the checks library), or a finding of the
// other checks (kind Q). Plain functions on the texts, so the rules are
// tested on real screen texts without a server.
#include "SizeRule.h"

#include <QString>
#include <QStringView>

namespace trd::check {

using quality::SizeRule;
using quality::SizeFinding;
using quality::splitLines;
using quality::shownLength;
using quality::allowedLength;
using quality::checkSize;
using quality::sizeMessage;

// Why a row counts as not translated: its status is "N", or its destination
// is blank while its source is not (a translated caption that shows nothing).
// Empty when it is translated.
QString untranslatedReason(QStringView status, QStringView source, QStringView destination);

} // namespace trd::check
