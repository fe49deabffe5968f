<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="it">
<context>
    <name>Texts</name>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Chiudi</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Trascina tutti i file</source>
        <translation>Alle Dateien ziehen</translation>
    </message>
    <message>
        <source>Trascina i file qui</source>
        <translation>Dateien hierher ziehen</translation>
    </message>
    <message numerus="yes">
        <source>Trascina qui fino a %n file per tenerli pronti ad essere riutilizzati e spostati dove vuoi</source>
        <translation>
            <numerusform>Zieh bis zu %n Datei hierher, um sie bereitzuhalten und dorthin zu bringen, wo du sie brauchst</numerusform>
            <numerusform>Zieh bis zu %n Dateien hierher, um sie bereitzuhalten und dorthin zu bringen, wo du sie brauchst</numerusform>
        </translation>
    </message>
    <message>
        <source>Dimensione sconosciuta</source>
        <translation>Unbekannte Größe</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Invia a un dispositivo</source>
        <translation>An ein Gerät senden</translation>
    </message>
    <message>
        <source>Rimuovi</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Annulla copia</source>
        <translation>Kopieren abbrechen</translation>
    </message>
    <message>
        <source>%1, copia in corso</source>
        <translation>%1, wird kopiert</translation>
    </message>
    <message>
        <source>%1, copia al %2%</source>
        <translation>%1, zu %2 % kopiert</translation>
    </message>
    <message>
        <source>Negli appunti non ci sono file locali</source>
        <translation>In der Zwischenablage sind keine lokalen Dateien</translation>
    </message>
    <message>
        <source>Cancella Tutto</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Esci</source>
        <translation>Beenden</translation>
    </message>
    <message numerus="yes">
        <source>Hai già raggiunto il limite di %n file</source>
        <translation>
            <numerusform>Du hast das Limit von %n Datei bereits erreicht</numerusform>
            <numerusform>Du hast das Limit von %n Dateien bereits erreicht</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Puoi aggiungere solo altri %n file</source>
        <translation>
            <numerusform>Du kannst nur noch %n Datei hinzufügen</numerusform>
            <numerusform>Du kannst nur noch %n Dateien hinzufügen</numerusform>
        </translation>
    </message>
    <message>
        <source>Mostra pannello</source>
        <translation>Panel anzeigen</translation>
    </message>
    <message>
        <source>Nascondi pannello</source>
        <translation>Panel ausblenden</translation>
    </message>
    <message>
        <source>Avvia all&apos;accesso</source>
        <translation>Beim Anmelden starten</translation>
    </message>
</context>
</TS>
