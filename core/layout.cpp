#include "core/layout.h"

namespace Layout {

// The 31 text fields in record order.
const std::array<Field, kFieldCount> kFields{{
    {"Auftraggeber", "Auftraggeber:", 120, 80, 170, 50},
    {"AGAnschrift", "Anschrift:", 120, 100, 170, 50},
    {"AGPLZ/Stadt", "PLZ/Stadt:", 120, 120, 170, 50},
    {"AGTel", "Tel.:", 120, 140, 170, 50},
    {"AGFax", "Fax:", 120, 160, 170, 50},
    {"AGKontaktperson", "Kontaktperson:", 120, 180, 170, 50},
    {"Auftragsnummer", "Auftragsnummer:", 425, 60, 170, 50},
    {"Auftragnehmer", "Auftragnehmer:", 425, 80, 170, 50},
    {"ANAnschrift", "Anschrift:", 425, 100, 170, 50},
    {"ANPLZ/Stadt", "PLZ/Stadt:", 425, 120, 170, 50},
    {"ANTel", "Tel.:", 425, 140, 170, 50},
    {"ANFax", "Fax:", 425, 160, 170, 50},
    {"ANKontaktperson", "Kontaktperson:", 425, 180, 170, 50},
    {"Geraet/Art", "Gerät/Art:", 120, 210, 170, 50},
    {"Hersteller", "Hersteller:", 120, 230, 170, 50},
    {"Seriennummer", "Seriennummer:", 120, 250, 170, 50},
    {"Standort", "Standort:", 120, 270, 170, 50},
    {"Identnummer", "Identnummer", 120, 290, 170, 50},
    {"Pruefintervall", "Prüfintervall:", 425, 210, 170, 50},
    {"Schutzklasse", "Schutzklasse:", 425, 230, 170, 50},
    {"Leistung", "Leistung:", 425, 250, 170, 50},
    {"Schutzleiter", "Schutzleiter:", 425, 270, 170, 50},
    {"Messgeraet", "Messgerät:", 120, 320, 170, 50},
    {"SeriennummerMess", "Seriennummer:", 120, 340, 170, 50},
    {"NaechsteKalibrierung", "nächste Kalibrierung:", 120, 360, 170, 50},
    {"Pruefungam", "Prüfung am:", 425, 320, 170, 50},
    {"Druckam", "Druck am:", 425, 340, 170, 50},
    {"Auswertung", "Auswertung:", 425, 360, 170, 50},
    {"Bemerkung", "Bemerkungen:", 120, 650, 340, 100},
    {"VerantwortlicherUnternehmer", "Verantwortlicher Unternehmer:", 5, 750, 255, 50},
    {"Pruefer", "Prüfer:", 320, 750, 255, 50},
}};

}  // namespace Layout
