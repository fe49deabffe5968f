<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it">
<context>
    <name>Texts</name>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Chiudi</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Trascina tutti i file</source>
        <translation>Drag all files</translation>
    </message>
    <message>
        <source>Trascina i file qui</source>
        <translation>Drag files here</translation>
    </message>
    <message numerus="yes">
        <source>Trascina qui fino a %n file per tenerli pronti ad essere riutilizzati e spostati dove vuoi</source>
        <translation>
            <numerusform>Drag up to %n file here to keep it ready to be reused and moved wherever you like</numerusform>
            <numerusform>Drag up to %n files here to keep them ready to be reused and moved wherever you like</numerusform>
        </translation>
    </message>
    <message>
        <source>Dimensione sconosciuta</source>
        <translation>Unknown size</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Invia a un dispositivo</source>
        <translation>Send to a device</translation>
    </message>
    <message>
        <source>Rimuovi</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Annulla copia</source>
        <translation>Cancel copy</translation>
    </message>
    <message>
        <source>%1, copia in corso</source>
        <translation>%1, copying</translation>
    </message>
    <message>
        <source>%1, copia al %2%</source>
        <translation>%1, %2% copied</translation>
    </message>
    <message>
        <source>Negli appunti non ci sono file locali</source>
        <translation>There are no local files on the clipboard</translation>
    </message>
    <message>
        <source>Cancella Tutto</source>
        <translation>Clear All</translation>
    </message>
    <message>
        <source>Esci</source>
        <translation>Quit</translation>
    </message>
    <message numerus="yes">
        <source>Hai già raggiunto il limite di %n file</source>
        <translation>
            <numerusform>You have already reached the limit of %n file</numerusform>
            <numerusform>You have already reached the limit of %n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Puoi aggiungere solo altri %n file</source>
        <translation>
            <numerusform>You can add only %n more file</numerusform>
            <numerusform>You can add only %n more files</numerusform>
        </translation>
    </message>
    <message>
        <source>Mostra pannello</source>
        <translation>Show Panel</translation>
    </message>
    <message>
        <source>Nascondi pannello</source>
        <translation>Hide Panel</translation>
    </message>
    <message>
        <source>Avvia all&apos;accesso</source>
        <translation>Start at Login</translation>
    </message>
</context>
</TS>
