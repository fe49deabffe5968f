<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="it">
<context>
    <name>Texts</name>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Chiudi</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Trascina tutti i file</source>
        <translation>Faire glisser tous les fichiers</translation>
    </message>
    <message>
        <source>Trascina i file qui</source>
        <translation>Glissez des fichiers ici</translation>
    </message>
    <message numerus="yes">
        <source>Trascina qui fino a %n file per tenerli pronti ad essere riutilizzati e spostati dove vuoi</source>
        <translation>
            <numerusform>Glissez ici jusqu’à %n fichier pour le garder prêt à être réutilisé et déplacé où vous voulez</numerusform>
            <numerusform>Glissez ici jusqu’à %n fichiers pour les garder prêts à être réutilisés et déplacés où vous voulez</numerusform>
        </translation>
    </message>
    <message>
        <source>Dimensione sconosciuta</source>
        <translation>Taille inconnue</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Invia a un dispositivo</source>
        <translation>Envoyer à un appareil</translation>
    </message>
    <message>
        <source>Rimuovi</source>
        <translation>Retirer</translation>
    </message>
    <message>
        <source>Annulla copia</source>
        <translation>Annuler la copie</translation>
    </message>
    <message>
        <source>%1, copia in corso</source>
        <translation>%1, copie en cours</translation>
    </message>
    <message>
        <source>%1, copia al %2%</source>
        <translation>%1, copie à %2 %</translation>
    </message>
    <message>
        <source>Negli appunti non ci sono file locali</source>
        <translation>Le presse-papiers ne contient aucun fichier local</translation>
    </message>
    <message>
        <source>Cancella Tutto</source>
        <translation>Tout effacer</translation>
    </message>
    <message>
        <source>Esci</source>
        <translation>Quitter</translation>
    </message>
    <message numerus="yes">
        <source>Hai già raggiunto il limite di %n file</source>
        <translation>
            <numerusform>Vous avez déjà atteint la limite de %n fichier</numerusform>
            <numerusform>Vous avez déjà atteint la limite de %n fichiers</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Puoi aggiungere solo altri %n file</source>
        <translation>
            <numerusform>Vous ne pouvez ajouter que %n autre fichier</numerusform>
            <numerusform>Vous ne pouvez ajouter que %n autres fichiers</numerusform>
        </translation>
    </message>
    <message>
        <source>Mostra pannello</source>
        <translation>Afficher le panneau</translation>
    </message>
    <message>
        <source>Nascondi pannello</source>
        <translation>Masquer le panneau</translation>
    </message>
    <message>
        <source>Avvia all&apos;accesso</source>
        <translation>Lancer à l’ouverture de session</translation>
    </message>
</context>
</TS>
