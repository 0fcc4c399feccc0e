// SPDX-License-Identifier: GPL-3.0-or-later
// Which items a scheme stores in each version of its two containers: the stand-alone
// body of a scheme file (0x2000 family, and the older 0x200 family that is only read)
// and the scheme section of a case document (0x400 family). QvScheme::Read, Write,
// ReadDocument and WriteDocument (QvSchemeFile.cpp) follow these tables.
//
// Items in stored order: name, first text, second text, integer; extracted and hidden
// teeth; virtual teeth; step lists; attachment lists; the legacy traction kind pair;
// two occlusal planes, two arch forms, the clinical record (each behind a presence
// flag); the bracket list (flag); the saved targets.
#pragma once

enum class QvToothRefForm
{
    Numbers, // int32 FDI number
    Pairs,   // int32 FDI number, int32 tooth state
};

enum class QvTargetForm
{
    None,
    Scheme,   // step lists of the scheme-file family
    Document, // step lists of the case-document family
    Legacy,   // the 0x200 family's form
};

struct QvSchemeLayout
{
    bool known = false;       // false: a version of no known layout; nothing is read or written
    bool oldest = false;      // 513: name not stored, first text as decimal length, see Read
    bool document = false;    // step lists in the case-document family
    QvToothRefForm toothRefs = QvToothRefForm::Pairs;
    bool virtualTeeth = false;
    bool attachLists = true;
    bool legacyKinds = false;     // the kind pair is stored
    bool legacyKindsUsed = false; // and handed to the clinical record
    bool shapes = true;           // occlusal planes and arch forms
    bool clinical = true;
    bool brackets = false;
    QvTargetForm targets = QvTargetForm::None;
};

// The stand-alone body: 8193 to 8199 (written and read), 513 to 519 (read only). Any
// other version, 520 and later of the 0x200 family included (they hold no body that
// can be read), gives a layout that is not known.
QvSchemeLayout QvSchemeBodyLayout(int version);
// The case-document section: 1025 to 1043; above 1041 the 1042 layout. Below 1025 not
// known. The saved targets follow the section from 1027 on (written), and are read
// from 1028 on by their own reader.
QvSchemeLayout QvSchemeSectionLayout(int version);
