<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es" sourcelanguage="it">
<context>
    <name>Texts</name>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Chiudi</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Trascina tutti i file</source>
        <translation>Arrastrar todos los archivos</translation>
    </message>
    <message>
        <source>Trascina i file qui</source>
        <translation>Arrastra archivos aquí</translation>
    </message>
    <message numerus="yes">
        <source>Trascina qui fino a %n file per tenerli pronti ad essere riutilizzati e spostati dove vuoi</source>
        <translation>
            <numerusform>Arrastra aquí hasta %n archivo para tenerlo listo para reutilizarlo y moverlo donde quieras</numerusform>
            <numerusform>Arrastra aquí hasta %n archivos para tenerlos listos para reutilizarlos y moverlos donde quieras</numerusform>
        </translation>
    </message>
    <message>
        <source>Dimensione sconosciuta</source>
        <translation>Tamaño desconocido</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Invia a un dispositivo</source>
        <translation>Enviar a un dispositivo</translation>
    </message>
    <message>
        <source>Rimuovi</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Annulla copia</source>
        <translation>Cancelar copia</translation>
    </message>
    <message>
        <source>%1, copia in corso</source>
        <translation>%1, copiando</translation>
    </message>
    <message>
        <source>%1, copia al %2%</source>
        <translation>%1, copiado al %2 %</translation>
    </message>
    <message>
        <source>Negli appunti non ci sono file locali</source>
        <translation>No hay archivos locales en el portapapeles</translation>
    </message>
    <message>
        <source>Cancella Tutto</source>
        <translation>Borrar todo</translation>
    </message>
    <message>
        <source>Esci</source>
        <translation>Salir</translation>
    </message>
    <message numerus="yes">
        <source>Hai già raggiunto il limite di %n file</source>
        <translation>
            <numerusform>Ya has alcanzado el límite de %n archivo</numerusform>
            <numerusform>Ya has alcanzado el límite de %n archivos</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Puoi aggiungere solo altri %n file</source>
        <translation>
            <numerusform>Solo puedes añadir %n archivo más</numerusform>
            <numerusform>Solo puedes añadir %n archivos más</numerusform>
        </translation>
    </message>
    <message>
        <source>Mostra pannello</source>
        <translation>Mostrar panel</translation>
    </message>
    <message>
        <source>Nascondi pannello</source>
        <translation>Ocultar panel</translation>
    </message>
    <message>
        <source>Avvia all&apos;accesso</source>
        <translation>Abrir al iniciar sesión</translation>
    </message>
</context>
</TS>
