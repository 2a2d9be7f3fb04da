<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CLI11</name>
    <message>
        <source>Display program version information and exit</source>
        <translation>Versionsinformationen anzeigen und beenden</translation>
    </message>
    <message>
        <source>Usage</source>
        <translation>Aufruf</translation>
    </message>
    <message>
        <source>OPTIONS</source>
        <translation>OPTIONEN</translation>
    </message>
    <message>
        <source>SUBCOMMAND</source>
        <translation>BEFEHL</translation>
    </message>
    <message>
        <source>SUBCOMMANDS</source>
        <translation>BEFEHLE</translation>
    </message>
    <message>
        <source>Positionals</source>
        <translation>Argumente</translation>
    </message>
    <message>
        <source>REQUIRED</source>
        <translation>ERFORDERLICH</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Print this help message and exit</source>
        <translation>Diese Hilfe anzeigen und beenden</translation>
    </message>
    <message>
        <source>Subcommands</source>
        <translation>Befehle</translation>
    </message>
</context>
<context>
    <name>Devices</name>
    <message>
        <source>The disc in the drive is mounted; unmount it and try again</source>
        <translation>Der Datenträger im Laufwerk ist eingehängt; hängen Sie ihn aus und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>You may not open the drive (permission denied)</source>
        <translation>Sie dürfen das Laufwerk nicht öffnen (Zugriff verweigert)</translation>
    </message>
    <message>
        <source>The drive is in use by another program; close it there and try again</source>
        <translation>Das Laufwerk wird von einem anderen Programm verwendet; geben Sie es dort frei und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>No burning speed is selected: the recorder reported no write speed for this disc. Check the disc and go back to choose the recorder again.</source>
        <translation>Es ist keine Brenngeschwindigkeit gewählt: Der Brenner hat für diesen Datenträger keine Schreibgeschwindigkeit gemeldet. Prüfen Sie den Datenträger und gehen Sie zurück, um den Brenner erneut zu wählen.</translation>
    </message>
    <message>
        <source>The drive could not be opened to measure its disc</source>
        <translation>Das Laufwerk konnte nicht geöffnet werden, um seinen Datenträger auszumessen</translation>
    </message>
    <message>
        <source>Insert a blank disc into {}</source>
        <translation>Legen Sie einen leeren Datenträger in {} ein</translation>
    </message>
    <message>
        <source>Insert a disc into {}</source>
        <translation>Legen Sie einen Datenträger in {} ein</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Verifying disc</source>
        <translation>Datenträger wird überprüft</translation>
    </message>
    <message>
        <source>Verification skipped: test mode writes nothing</source>
        <translation>Überprüfung übersprungen: Im Testmodus wird nichts geschrieben</translation>
    </message>
    <message>
        <source>Disc verified: %u blocks match the image</source>
        <translation>Datenträger überprüft: %u Blöcke stimmen mit dem Abbild überein</translation>
    </message>
    <message>
        <source>SHA-256 of the written data: </source>
        <translation>SHA-256 der geschriebenen Daten: </translation>
    </message>
    <message>
        <source>Implanted MD5 checksum: correct</source>
        <translation>Eingebettete MD5-Prüfsumme: korrekt</translation>
    </message>
    <message>
        <source>The folder does not fit on the disc: it makes {} MB, the disc has {} MB free; nothing was written</source>
        <translation>Der Ordner passt nicht auf den Datenträger: Er braucht {} MB, auf dem Datenträger sind {} MB frei; es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>The folder {} is empty: there is nothing to burn</source>
        <translation>Der Ordner {} ist leer: Es gibt nichts zu brennen</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>&amp;Next &gt;</source>
        <translation>&amp;Weiter &gt;</translation>
    </message>
    <message>
        <source>&lt; &amp;Back</source>
        <translation>&lt; &amp;Zurück</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Finish</source>
        <translation>&amp;Fertig stellen</translation>
    </message>
    <message>
        <source>Scanning devices</source>
        <translation>Geräte werden gesucht</translation>
    </message>
    <message>
        <source>You must select device that is supports burning CD/DVD</source>
        <translation>Bitte wählen Sie ein Gerät, das CDs und DVDs brennen kann</translation>
    </message>
    <message>
        <source>No writable disc is inserted</source>
        <translation>Es ist kein beschreibbarer Datenträger eingelegt</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Burning started</source>
        <translation>Brennvorgang gestartet</translation>
    </message>
    <message>
        <source>Testing unit ready</source>
        <translation>Bereitschaft des Geräts wird geprüft</translation>
    </message>
    <message>
        <source>Getting track information</source>
        <translation>Spurinformationen werden gelesen</translation>
    </message>
    <message>
        <source>Getting disc information</source>
        <translation>Datenträgerinformationen werden gelesen</translation>
    </message>
    <message>
        <source>Building ISO image</source>
        <translation>ISO-Abbild wird erstellt</translation>
    </message>
    <message>
        <source>Closing session</source>
        <translation>Sitzung wird abgeschlossen</translation>
    </message>
    <message>
        <source>Burning completed</source>
        <translation>Brennvorgang abgeschlossen</translation>
    </message>
    <message>
        <source>Current read speed %d KBps (%d maximum)</source>
        <translation>Aktuelle Lesegeschwindigkeit %d KB/s (maximal %d)</translation>
    </message>
    <message>
        <source>Current write speed %d KBps (%d maximum)</source>
        <translation>Aktuelle Schreibgeschwindigkeit %d KB/s (maximal %d)</translation>
    </message>
    <message>
        <source>Getting current CD/DVD speeds</source>
        <translation>Aktuelle CD/DVD-Geschwindigkeiten werden gelesen</translation>
    </message>
    <message>
        <source>Enabling BUP (Buffer Underrun Protection)</source>
        <translation>BUP (Schutz vor Pufferunterlauf) wird eingeschaltet</translation>
    </message>
    <message>
        <source>Getting BUP (Buffer Underrun Protection) support</source>
        <translation>Unterstützung für BUP (Schutz vor Pufferunterlauf) wird abgefragt</translation>
    </message>
    <message>
        <source>%d MBs of cache will be used during burn process</source>
        <translation>Beim Brennen werden %d MB Zwischenspeicher verwendet</translation>
    </message>
    <message>
        <source>Finished!</source>
        <translation>Fertig!</translation>
    </message>
    <message>
        <source>Eject disc</source>
        <translation>Datenträger auswerfen</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>Leer</translation>
    </message>
    <message>
        <source>No media in drive</source>
        <translation>Kein Datenträger im Laufwerk</translation>
    </message>
    <message>
        <source>Setting CD/DVD speeds</source>
        <translation>CD/DVD-Geschwindigkeiten werden eingestellt</translation>
    </message>
    <message>
        <source>Sending OPC (Optimum Power Calibration)</source>
        <translation>OPC (Laserleistungskalibrierung) wird gesendet</translation>
    </message>
    <message>
        <source>Burning mode</source>
        <translation>Brennmodus</translation>
    </message>
    <message>
        <source>Disc is not blank, burning is impossible!</source>
        <translation>Der Datenträger ist nicht leer, Brennen ist nicht möglich!</translation>
    </message>
    <message>
        <source>Welcome to Tavrin</source>
        <translation>Willkommen bei Tavrin</translation>
    </message>
    <message>
        <source>Burning</source>
        <translation>Brennen</translation>
    </message>
    <message>
        <source>Device Selection</source>
        <translation>Geräteauswahl</translation>
    </message>
    <message>
        <source>Burning Options</source>
        <translation>Brennoptionen</translation>
    </message>
    <message>
        <source>You can choose various burning options</source>
        <translation>Hier können Sie verschiedene Brennoptionen wählen</translation>
    </message>
    <message>
        <source>SCSI Transport</source>
        <translation>SCSI-Transport</translation>
    </message>
    <message>
        <source>The SCSI transport is a method to access devices</source>
        <translation>Der SCSI-Transport legt fest, wie auf die Geräte zugegriffen wird</translation>
    </message>
    <message>
        <source>Review the Data CD/DVD options you have chosen before proceed with burning</source>
        <translation>Überprüfen Sie die gewählten Optionen für die Daten-CD/DVD, bevor Sie mit dem Brennen beginnen</translation>
    </message>
    <message>
        <source>Options Summary</source>
        <translation>Übersicht der Optionen</translation>
    </message>
    <message>
        <source>Click Next to start burning</source>
        <translation>Klicken Sie auf „Weiter“, um das Brennen zu starten</translation>
    </message>
    <message>
        <source>Tavrin has successfully finished!</source>
        <translation>Tavrin hat den Vorgang erfolgreich abgeschlossen!</translation>
    </message>
    <message>
        <source>Completing the Tavrin</source>
        <translation>Abschluss des Tavrin-Assistenten</translation>
    </message>
    <message>
        <source>Tavrin has finished with error</source>
        <translation>Tavrin wurde mit einem Fehler beendet</translation>
    </message>
    <message>
        <source>Burning was canceled by user!</source>
        <translation>Das Brennen wurde vom Benutzer abgebrochen!</translation>
    </message>
    <message>
        <source>Data CD/DVD will be created with the following options chosen:</source>
        <translation>Die Daten-CD/DVD wird mit den folgenden Optionen erstellt:</translation>
    </message>
    <message>
        <source>You can choose burning mode</source>
        <translation>Hier können Sie den Brennmodus wählen</translation>
    </message>
    <message>
        <source>Burning Mode</source>
        <translation>Brennmodus</translation>
    </message>
    <message>
        <source>Test mode does everything as in normal burning process, but with the device laser turned off. It allows to test the Data CD/DVD compilation for errors.</source>
        <translation>Der Testmodus führt alle Schritte wie beim normalen Brennen aus, jedoch mit ausgeschaltetem Laser. So lässt sich die Zusammenstellung der Daten-CD/DVD auf Fehler prüfen.</translation>
    </message>
    <message>
        <source>Test mode does everything as in normal burning process, but with the device laser turned off. It allows to test the Audio CD compilation for errors.</source>
        <translation>Der Testmodus führt alle Schritte wie beim normalen Brennen aus, jedoch mit ausgeschaltetem Laser. So lässt sich die Zusammenstellung der Audio-CD auf Fehler prüfen.</translation>
    </message>
    <message>
        <source>Destination device</source>
        <translation>Zielgerät</translation>
    </message>
    <message>
        <source>Tavrin is scanning your system for CD and DVD devices.</source>
        <translation>Tavrin sucht auf Ihrem System nach CD- und DVD-Geräten.</translation>
    </message>
    <message>
        <source>Burning image</source>
        <translation>Abbild wird gebrannt</translation>
    </message>
    <message>
        <source>Source image file:</source>
        <translation>Abbilddatei:</translation>
    </message>
    <message>
        <source>Source Image File Selection</source>
        <translation>Auswahl der Abbilddatei</translation>
    </message>
    <message>
        <source>Please select an image file you would like to burn</source>
        <translation>Bitte wählen Sie die Abbilddatei, die Sie brennen möchten</translation>
    </message>
    <message>
        <source>You must select image file</source>
        <translation>Bitte wählen Sie eine Abbilddatei</translation>
    </message>
    <message>
        <source>Are you sure you want to cancel current operation?</source>
        <translation>Möchten Sie den laufenden Vorgang wirklich abbrechen?</translation>
    </message>
    <message>
        <source>Image size is too big to fit disc space</source>
        <translation>Das Abbild ist zu groß für den Platz auf dem Datenträger</translation>
    </message>
    <message>
        <source>File size: %.2f Mb      Disc size: %.2f Mb</source>
        <translation>Dateigröße: %.2f MB      Datenträgergröße: %.2f MB</translation>
    </message>
    <message>
        <source>Drive: %s %s (%s)</source>
        <translation>Laufwerk: %s %s (%s)</translation>
    </message>
    <message>
        <source>Selected image file name: %s</source>
        <translation>Gewählte Abbilddatei: %s</translation>
    </message>
    <message>
        <source>Disc Type: %s</source>
        <translation>Datenträgertyp: %s</translation>
    </message>
    <message>
        <source>Send OPC: %s</source>
        <translation>OPC senden: %s</translation>
    </message>
    <message>
        <source>Burning Speed: %s</source>
        <translation>Brenngeschwindigkeit: %s</translation>
    </message>
    <message>
        <source>Test Write: %s</source>
        <translation>Testbrand: %s</translation>
    </message>
    <message>
        <source>Transport: %s</source>
        <translation>Transport: %s</translation>
    </message>
    <message>
        <source>Burning Mode: %s</source>
        <translation>Brennmodus: %s</translation>
    </message>
    <message>
        <source>Burning file system image...</source>
        <translation>Dateisystemabbild wird gebrannt ...</translation>
    </message>
    <message>
        <source>CD or DVD burning device to use for disc burning.</source>
        <translation>Der CD- oder DVD-Brenner, mit dem der Datenträger gebrannt wird.</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Empty</source>
        <translation>Leer</translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>%.1f of %.1f MB</source>
        <translation>%.1f von %.1f MB</translation>
    </message>
    <message>
        <source>%s elapsed</source>
        <translation>%s vergangen</translation>
    </message>
    <message>
        <source>%s left</source>
        <translation>noch %s</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Verify: </source>
        <translation>Überprüfen: </translation>
    </message>
    <message>
        <source>Wizard steps</source>
        <translation>Schritte des Assistenten</translation>
    </message>
    <message>
        <source>No listed recorder holds a blank disc it can write. Put one in and click Refresh, or untick &quot;Burn on every recorder with a suitable disc&quot;.</source>
        <translation>Kein aufgeführter Brenner enthält einen leeren Datenträger, den er beschreiben kann. Legen Sie einen ein und klicken Sie auf „Aktualisieren“, oder entfernen Sie das Häkchen bei „Auf jedem Brenner mit passendem Datenträger brennen“.</translation>
    </message>
    <message>
        <source>Several recorders and copies burn an image file: a cue sheet is burnt on one recorder, one disc at a time.</source>
        <translation>Mehrere Brenner und Kopien brennen eine Abbilddatei: Ein Cue-Sheet wird auf einem Brenner gebrannt, ein Datenträger nach dem anderen.</translation>
    </message>
    <message>
        <source>Several recorders and copies are written Track-At-Once: go Back to the write mode and choose Track-At-Once.</source>
        <translation>Mehrere Brenner und Kopien werden im Track-At-Once-Modus geschrieben: Gehen Sie zurück zum Schreibmodus und wählen Sie Track-At-Once.</translation>
    </message>
    <message>
        <source>The image does not fit on the disc in %1.</source>
        <translation>Das Abbild passt nicht auf den Datenträger in %1.</translation>
    </message>
    <message>
        <source>Recorders, all at once: %1</source>
        <translation>Brenner, alle gleichzeitig: %1</translation>
    </message>
    <message>
        <source>Copies on each recorder: %1</source>
        <translation>Kopien auf jedem Brenner: %1</translation>
    </message>
    <message>
        <source>Several recorders and copies burn an image file: a folder is burnt on one recorder, one disc at a time.</source>
        <translation>Mehrere Brenner und Kopien brennen eine Abbilddatei: Ein Ordner wird auf einem Brenner gebrannt, ein Datenträger nach dem anderen.</translation>
    </message>
    <message>
        <source>Folder: %1 (%2 MB)</source>
        <translation>Ordner: %1 (%2 MB)</translation>
    </message>
</context>
<context>
    <name>TSelectTransportForm</name>
    <message>
        <source>Select SCSI transport you want to use for device access:</source>
        <translation>Wählen Sie den SCSI-Transport für den Zugriff auf die Geräte:</translation>
    </message>
    <message>
        <source>SPTI - SCSI Pass Through Interface</source>
        <translation>SPTI – SCSI Pass Through Interface</translation>
    </message>
    <message>
        <source>This transport is preferrable for Windows NT-based systems (NT4/2000/XP/2003/Vista/Windows7). It can&apos;t be used for Windows 9x systems (95/98/Me).</source>
        <translation>Dieser Transport ist für Windows-NT-basierte Systeme (NT4/2000/XP/2003/Vista/Windows 7) vorzuziehen. Unter Windows 9x (95/98/Me) ist er nicht verwendbar.</translation>
    </message>
    <message>
        <source>ASPI - Advanced SCSI Programming Interface</source>
        <translation>ASPI – Advanced SCSI Programming Interface</translation>
    </message>
    <message>
        <source>This transport is primarily intended for Windows 9x systems, but can be used in Windows NT-based systems.</source>
        <translation>Dieser Transport ist vor allem für Windows 9x gedacht, lässt sich aber auch unter Windows-NT-basierten Systemen verwenden.</translation>
    </message>
</context>
<context>
    <name>TfrmAbout</name>
    <message>
        <source>Diagnostic log (when LogEnabled=1 in %1):
%2
Virtual recorders&apos; discs:
~/.local/share/tavrin/starburn/ ($XDG_DATA_HOME/tavrin/starburn/ when it is set)</source>
        <translation>Diagnoseprotokoll (bei LogEnabled=1 in %1):
%2
Datenträger der virtuellen Brenner:
~/.local/share/tavrin/starburn/ ($XDG_DATA_HOME/tavrin/starburn/, wenn gesetzt)</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>About </source>
        <translation>Über </translation>
    </message>
</context>
<context>
    <name>TfrmBurnMode</name>
    <message>
        <source>Burning Mode is the way of burning data to the disc.</source>
        <translation>Der Brennmodus bestimmt, wie die Daten auf den Datenträger geschrieben werden.</translation>
    </message>
    <message>
        <source>Note: CD-Text infromation will be  burned only if Disc-At-Once raw P-W method is used.</source>
        <translation>Hinweis: CD-Text wird nur im Modus Disc-At-Once Raw P-W gebrannt.</translation>
    </message>
    <message>
        <source>Burning Mode:</source>
        <translation>Brennmodus:</translation>
    </message>
    <message>
        <source>Test mode (simulate burning)</source>
        <translation>Testmodus (Brennen nur simulieren)</translation>
    </message>
</context>
<context>
    <name>TfrmBurnOptions</name>
    <message>
        <source>Sending Optimum Power Calibration (OPC) calibrates the device laser power at the beginning of burning session to adjust for the properties of each recordable disc.</source>
        <translation>Die Laserleistungskalibrierung (OPC, Optimum Power Calibration) stimmt zu Beginn des Brennvorgangs die Laserleistung des Geräts auf die Eigenschaften des jeweiligen Rohlings ab.</translation>
    </message>
    <message>
        <source>Send optimum power calibration</source>
        <translation>Laserleistungskalibrierung (OPC) senden</translation>
    </message>
    <message>
        <source>Optimal burning speed depends on the disc used and burning device capabilities. Poorly chosen burning speed may result in coaster disc. To determine the best burning speed you can make test burns or consult your device and disc manufacturers.</source>
        <translation>Die beste Brenngeschwindigkeit hängt vom Rohling und von den Fähigkeiten des Brenners ab. Eine ungünstig gewählte Geschwindigkeit kann den Rohling unbrauchbar machen. Um die beste Geschwindigkeit zu finden, können Sie Testbrände machen oder die Angaben der Geräte- und Rohlingshersteller zu Rate ziehen.</translation>
    </message>
    <message>
        <source>Burning speed:</source>
        <translation>Geschwindigkeit:</translation>
    </message>
    <message>
        <source>Fastest</source>
        <translation>Höchste</translation>
    </message>
    <message>
        <source>Verify the disc after burning</source>
        <translation>Datenträger nach dem Brennen überprüfen</translation>
    </message>
    <message>
        <source>Multisession mode allows appending data to the disc later. In single session mode data cannot be appended after the disc is burned.</source>
        <translation>Im Multisession-Modus lassen sich später weitere Daten auf den Datenträger schreiben. Im Single-Session-Modus ist das nach dem Brennen nicht mehr möglich.</translation>
    </message>
    <message>
        <source>Create multisession disc</source>
        <translation>Multisession-Datenträger erstellen</translation>
    </message>
    <message>
        <source>Reads the disc back after burning and compares it with the image file.</source>
        <translation>Liest den Datenträger nach dem Brennen zurück und vergleicht ihn mit der Abbilddatei.</translation>
    </message>
    <message>
        <source>&amp;Copies:</source>
        <translation>&amp;Kopien:</translation>
    </message>
    <message>
        <source>Copies on each recorder</source>
        <translation>Kopien auf jedem Brenner</translation>
    </message>
    <message>
        <source>More than one: after each disc the recorder ejects it and waits for the next blank disc</source>
        <translation>Mehr als eine: Nach jedem Datenträger wirft der Brenner ihn aus und wartet auf den nächsten leeren Datenträger</translation>
    </message>
</context>
<context>
    <name>TfrmCopyDisc</name>
    <message>
        <source>Copy a disc to an image file</source>
        <translation>Datenträger in eine Abbilddatei kopieren</translation>
    </message>
    <message>
        <source>Drive with the disc to copy:</source>
        <translation>Laufwerk mit dem zu kopierenden Datenträger:</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
    <message>
        <source>Vendor</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Disc</source>
        <translation>Datenträger</translation>
    </message>
    <message>
        <source>Size, MB</source>
        <translation>Größe, MB</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Bezeichnung</translation>
    </message>
    <message>
        <source>Drives</source>
        <translation>Laufwerke</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Looks for the drives and their discs again</source>
        <translation>Sucht die Laufwerke und ihre Datenträger erneut</translation>
    </message>
    <message>
        <source>Image file:</source>
        <translation>Abbilddatei:</translation>
    </message>
    <message>
        <source>Image file</source>
        <translation>Abbilddatei</translation>
    </message>
    <message>
        <source>The image file the disc is copied to; an audio CD becomes a BIN file and its cue sheet</source>
        <translation>Die Abbilddatei, in die der Datenträger kopiert wird; eine Audio-CD wird zu einer BIN-Datei mit ihrem Cue-Sheet</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>Chooses the image file in a dialog</source>
        <translation>Wählt die Abbilddatei in einem Dialog</translation>
    </message>
    <message>
        <source>Copy progress</source>
        <translation>Fortschritt der Kopie</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Copies the disc to the image file</source>
        <translation>Kopiert den Datenträger in die Abbilddatei</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>Stops the copy; no image is written</source>
        <translation>Hält die Kopie an; es wird kein Abbild geschrieben</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Closes this window (Esc)</source>
        <translation>Schließt dieses Fenster (Esc)</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>Copy the disc to</source>
        <translation>Datenträger kopieren nach</translation>
    </message>
    <message>
        <source>Cue sheets (*.cue)</source>
        <translation>Cue-Sheets (*.cue)</translation>
    </message>
    <message>
        <source>ISO images (*.iso)</source>
        <translation>ISO-Abbilder (*.iso)</translation>
    </message>
    <message>
        <source>Choose the drive with the disc to copy.</source>
        <translation>Wählen Sie das Laufwerk mit dem zu kopierenden Datenträger.</translation>
    </message>
    <message>
        <source>The disc is blank: there is nothing on it to copy.</source>
        <translation>Der Datenträger ist leer: Es gibt nichts zu kopieren.</translation>
    </message>
    <message>
        <source>Choose the image file to copy the disc to.</source>
        <translation>Wählen Sie die Abbilddatei, in die der Datenträger kopiert werden soll.</translation>
    </message>
    <message>
        <source>Files of this copy exist already:
%1

Replace them? The files there now stay until the copy is whole.</source>
        <translation>Dateien dieser Kopie gibt es bereits:
%1

Ersetzen? Die vorhandenen Dateien bleiben, bis die Kopie vollständig ist.</translation>
    </message>
    <message>
        <source>Reading the disc&apos;s table of contents...</source>
        <translation>Das Inhaltsverzeichnis des Datenträgers wird gelesen...</translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation>Wird angehalten...</translation>
    </message>
    <message>
        <source>A copy is running. Stop it? No image is written.</source>
        <translation>Eine Kopie läuft. Anhalten? Es wird kein Abbild geschrieben.</translation>
    </message>
    <message>
        <source>Sector %1 cannot be read (%2).

Fill it and every further sector that cannot be read with zeros, go on, and list them in %3?

No stops the copy, and no image is written. Clean the disc (wipe from the centre outwards) and copy it again, or try another drive.</source>
        <translation>Sektor %1 kann nicht gelesen werden (%2).

Ihn und jeden weiteren unlesbaren Sektor mit Nullen füllen, weiterkopieren und sie in %3 auflisten?

Nein hält die Kopie an, und es wird kein Abbild geschrieben. Reinigen Sie den Datenträger (von der Mitte nach außen wischen) und kopieren Sie ihn erneut, oder versuchen Sie ein anderes Laufwerk.</translation>
    </message>
    <message>
        <source>Disc copied to %1</source>
        <translation>Datenträger kopiert nach %1</translation>
    </message>
    <message>
        <source>Cue sheet: %1</source>
        <translation>Cue-Sheet: %1</translation>
    </message>
    <message>
        <source>SHA-256: %1 (in %2)</source>
        <translation>SHA-256: %1 (in %2)</translation>
    </message>
    <message>
        <source>%1 unreadable sector filled with zeros: %2 (listed in %3)</source>
        <translation>%1 unlesbarer Sektor mit Nullen gefüllt: %2 (aufgelistet in %3)</translation>
    </message>
    <message>
        <source>%1 unreadable sectors filled with zeros: %2 (listed in %3)</source>
        <translation>%1 unlesbare Sektoren mit Nullen gefüllt: %2 (aufgelistet in %3)</translation>
    </message>
    <message>
        <source>The copy was stopped; no image was written.</source>
        <translation>Die Kopie wurde angehalten; es wurde kein Abbild geschrieben.</translation>
    </message>
    <message>
        <source>The disc was not copied.</source>
        <translation>Der Datenträger wurde nicht kopiert.</translation>
    </message>
    <message>
        <source>The disc was not copied.

%1</source>
        <translation>Der Datenträger wurde nicht kopiert.

%1</translation>
    </message>
</context>
<context>
    <name>TfrmFinalAction</name>
    <message>
        <source>Buffer status:</source>
        <translation>Puffer:</translation>
    </message>
    <message>
        <source>Burning log:</source>
        <translation>Brennprotokoll:</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Click Save Log to save Burning Log text to a file.</source>
        <translation>Klicken Sie auf „Protokoll speichern“, um das Brennprotokoll in einer Datei zu sichern.</translation>
    </message>
    <message>
        <source>Save &amp;Log ...</source>
        <translation>Protokoll &amp;speichern ...</translation>
    </message>
    <message>
        <source>Save &amp;Report ...</source>
        <translation>&amp;Bericht speichern ...</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>Burning progress</source>
        <translation>Brennfortschritt</translation>
    </message>
    <message>
        <source>How much of the image is written (or read back)</source>
        <translation>Wie viel des Abbilds geschrieben (oder zurückgelesen) ist</translation>
    </message>
    <message>
        <source>Buffer status</source>
        <translation>Pufferfüllstand</translation>
    </message>
    <message>
        <source>How full the recorder&apos;s buffer is</source>
        <translation>Wie voll der Puffer des Brenners ist</translation>
    </message>
    <message>
        <source>Burning log</source>
        <translation>Brennprotokoll</translation>
    </message>
    <message>
        <source>Every step of the burn with its time</source>
        <translation>Jeder Schritt des Brennvorgangs mit seiner Uhrzeit</translation>
    </message>
    <message>
        <source>Saves a problem report (.tar.gz) to send to the developers</source>
        <translation>Speichert einen Problembericht (.tar.gz) für die Entwickler</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Insert a blank disc into %1</source>
        <translation>Legen Sie einen leeren Datenträger in %1 ein</translation>
    </message>
    <message>
        <source>Preparing</source>
        <translation>Vorbereitung</translation>
    </message>
    <message>
        <source>Writing</source>
        <translation>Schreiben</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Überprüfung</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Verification failed</source>
        <translation>Überprüfung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Recorder</source>
        <translation>Brenner</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopie</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Recorders</source>
        <translation>Brenner</translation>
    </message>
    <message>
        <source>What each recorder does, and how far it is</source>
        <translation>Was jeder Brenner tut und wie weit er ist</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>%1 of %2 copies done, %3 failed</source>
        <translation>%1 von %2 Kopien fertig, %3 fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>TfrmFinish</name>
    <message>
        <source>Completing the Tavrin</source>
        <translation>Abschluss des Tavrin-Assistenten</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Fertig stellen</translation>
    </message>
    <message>
        <source>%1 of %2 copies done, %3 failed</source>
        <translation>%1 von %2 Kopien fertig, %3 fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>TfrmOperationProgress</name>
    <message>
        <source>Cancelling...</source>
        <translation>Wird abgebrochen ...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stops the search (Esc)</source>
        <translation>Bricht die Suche ab (Esc)</translation>
    </message>
</context>
<context>
    <name>TfrmOptionsSummary</name>
    <message>
        <source>&amp;Volume label:</source>
        <translation>&amp;Datenträgerbezeichnung:</translation>
    </message>
    <message>
        <source>The name the disc shows: A-Z, 0-9 and _, at most 32 characters.</source>
        <translation>Der Name, den der Datenträger zeigt: A-Z, 0-9 und _, höchstens 32 Zeichen.</translation>
    </message>
</context>
<context>
    <name>TfrmSelectDevice</name>
    <message>
        <source>Mounted</source>
        <translation>Eingehängt</translation>
    </message>
    <message>
        <source>No access</source>
        <translation>Kein Zugriff</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>In use</source>
        <translation>Belegt</translation>
    </message>
    <message>
        <source>Select CD or DVD burning device from the list</source>
        <translation>Wählen Sie einen CD- oder DVD-Brenner aus der Liste</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>Produkt</translation>
    </message>
    <message>
        <source>Vendor</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Revision</source>
        <translation>Revision</translation>
    </message>
    <message>
        <source>Media </source>
        <translation>Medium </translation>
    </message>
    <message>
        <source>Size, MB</source>
        <translation>Größe, MB</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Bezeichnung</translation>
    </message>
    <message>
        <source>If you have plugged in new devices or changed disc in a drive click Refresh to update devices list</source>
        <translation>Wenn Sie neue Geräte angeschlossen oder einen Datenträger gewechselt haben, klicken Sie auf „Aktualisieren“, um die Geräteliste zu erneuern</translation>
    </message>
    <message>
        <source>&amp;Refresh...</source>
        <translation>&amp;Aktualisieren...</translation>
    </message>
    <message>
        <source>Recorders</source>
        <translation>Brenner</translation>
    </message>
    <message>
        <source>Disc maker</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Burn on every recorder with a suitable disc</source>
        <translation>Auf jedem Brenner mit passendem Datenträger brennen</translation>
    </message>
    <message>
        <source>Burn on every recorder</source>
        <translation>Auf jedem Brenner brennen</translation>
    </message>
    <message>
        <source>Writes the image to every listed recorder that holds a blank disc big enough for it, all at once</source>
        <translation>Schreibt das Abbild gleichzeitig auf jeden aufgeführten Brenner, der einen leeren Datenträger enthält, der groß genug dafür ist</translation>
    </message>
</context>
<context>
    <name>TfrmSourceFileSelection</name>
    <message>
        <source>Select file system image to burn</source>
        <translation>Wählen Sie das Dateisystemabbild, das gebrannt werden soll</translation>
    </message>
    <message>
        <source>Implanted checksum found</source>
        <translation>Eingebettete Prüfsumme gefunden</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an image file (not a regular file).</source>
        <translation>„%1“ ist keine Abbilddatei (keine reguläre Datei).</translation>
    </message>
    <message>
        <source>Image file</source>
        <translation>Abbilddatei</translation>
    </message>
    <message>
        <source>&amp;Image file path:</source>
        <translation>&amp;Abbilddatei:</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Chooses the image file in a file dialog (Ctrl+O).</source>
        <translation>Wählt die Abbilddatei in einem Dateidialog (Strg+O).</translation>
    </message>
    <message>
        <source>Disc images (*.iso *.cue);;ISO image (*.iso);;Cue sheet (*.cue)</source>
        <translation>Disc-Abbilder (*.iso *.cue);;ISO-Abbild (*.iso);;Cue-Sheet (*.cue)</translation>
    </message>
    <message>
        <source>Choose a &amp;folder...</source>
        <translation>&amp;Ordner wählen...</translation>
    </message>
    <message>
        <source>Burns a folder&apos;s files as a data disc instead of an image file.</source>
        <translation>Brennt die Dateien eines Ordners als Datendisc statt einer Abbilddatei.</translation>
    </message>
    <message>
        <source>Choose the folder to burn as a data disc</source>
        <translation>Wählen Sie den Ordner, der als Datendisc gebrannt werden soll</translation>
    </message>
    <message>
        <source>Tavrin is still measuring the folder; Next waits for its size.</source>
        <translation>Tavrin misst den Ordner noch; „Weiter“ wartet auf seine Größe.</translation>
    </message>
</context>
<context>
    <name>TfrmWelcome</name>
    <message>
        <source>Welcome to Tavrin</source>
        <translation>Willkommen bei Tavrin</translation>
    </message>
    <message>
        <source>The wizard will guide you through file system image burning process using Tavrin.</source>
        <translation>Der Assistent führt Sie Schritt für Schritt durch das Brennen eines Dateisystemabbilds mit Tavrin.</translation>
    </message>
    <message>
        <source>Click Next to continue or Cancel to exit</source>
        <translation>Klicken Sie auf „Weiter“, um fortzufahren, oder auf „Abbrechen“, um zu beenden</translation>
    </message>
    <message>
        <source>Cop&amp;y a disc to an image file...</source>
        <translation>Datenträger in eine Abbilddatei k&amp;opieren...</translation>
    </message>
    <message>
        <source>Reads a CD, DVD or Blu-ray disc into an image file with its SHA-256 checksum</source>
        <translation>Liest eine CD, DVD oder Blu-ray in eine Abbilddatei mit ihrer SHA-256-Prüfsumme</translation>
    </message>
</context>
<context>
    <name>TsbApplication</name>
    <message>
        <source>Save Problem &amp;Report...</source>
        <translation>Problem&amp;bericht speichern...</translation>
    </message>
    <message>
        <source>Burns a CD or DVD image file onto a disc, step by step.</source>
        <translation>Brennt eine CD- oder DVD-Abbilddatei Schritt für Schritt auf einen Datenträger.</translation>
    </message>
    <message>
        <source>The image file to burn (the wizard starts with it filled in).</source>
        <translation>Die zu brennende Abbilddatei (der Assistent beginnt mit ihr).</translation>
    </message>
    <message>
        <source>tavrin: one image at a time
</source>
        <translation>tavrin: nur ein Abbild auf einmal
</translation>
    </message>
</context>
<context>
    <name>TsbChromeForm</name>
    <message>
        <source>Version: %1</source>
        <translation>Version: %1</translation>
    </message>
    <message>
        <source>more free tools...</source>
        <translation>weitere freie Werkzeuge...</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Help Content</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Quick Start...</source>
        <translation>Schnellstart...</translation>
    </message>
    <message>
        <source>Home Page</source>
        <translation>Homepage</translation>
    </message>
    <message>
        <source>More Related Tools...</source>
        <translation>Weitere verwandte Werkzeuge...</translation>
    </message>
    <message>
        <source>Check for Updates...</source>
        <translation>Nach Aktualisierungen suchen...</translation>
    </message>
    <message>
        <source>Contact Technical Support...</source>
        <translation>Technischen Support kontaktieren...</translation>
    </message>
    <message>
        <source>Minimizes the program&apos;s windows</source>
        <translation>Minimiert die Fenster des Programms</translation>
    </message>
    <message>
        <source>Closes the wizard</source>
        <translation>Schließt den Assistenten</translation>
    </message>
    <message>
        <source>Opens the help menu (F1: the help pages)</source>
        <translation>Öffnet das Hilfemenü (F1: die Hilfeseiten)</translation>
    </message>
    <message>
        <source>Shows the program&apos;s version and web site</source>
        <translation>Zeigt die Version und die Website des Programms</translation>
    </message>
    <message>
        <source>Goes back to the previous step</source>
        <translation>Geht zum vorigen Schritt zurück</translation>
    </message>
    <message>
        <source>Goes on to the next step (Enter)</source>
        <translation>Geht zum nächsten Schritt (Eingabetaste)</translation>
    </message>
    <message>
        <source>Cancels the wizard (Esc)</source>
        <translation>Bricht den Assistenten ab (Esc)</translation>
    </message>
</context>
<context>
    <name>TsbReportSaver</name>
    <message>
        <source>Save Problem Report</source>
        <translation>Problembericht speichern</translation>
    </message>
    <message>
        <source>Problem reports (*.tar.gz)</source>
        <translation>Problemberichte (*.tar.gz)</translation>
    </message>
    <message>
        <source>The problem report is saved in %1. Send it with a few words on what you did and what went wrong.</source>
        <translation>Der Problembericht ist in %1 gespeichert. Senden Sie ihn mit ein paar Worten dazu, was Sie getan haben und was schiefgegangen ist.</translation>
    </message>
</context>
<context>
    <name>sbGuard</name>
    <message>
        <source>An unknown error occurred</source>
        <translation>Ein unbekannter Fehler ist aufgetreten</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Nicht genügend Arbeitsspeicher</translation>
    </message>
</context>
<context>
    <name>tavrin-burn</name>
    <message>
        <source>How drives are reached: spti (by device name, the default) or aspi (by SCSI address)</source>
        <translation>Zugriff auf die Laufwerke: spti (über den Gerätenamen, die Vorgabe) oder aspi (über die SCSI-Adresse)</translation>
    </message>
    <message>
        <source>One JSON object per line for every event (for scripts and front ends)</source>
        <translation>Ein JSON-Objekt pro Zeile für jedes Ereignis (für Skripte und Oberflächen; immer auf Englisch)</translation>
    </message>
    <message>
        <source>The drive: its name (CdRom1), drive letter (F:) or SCSI address (1:0:1:0); default: the only recorder</source>
        <translation>Das Laufwerk: sein Name (CdRom1), Laufwerksbuchstabe (F:) oder SCSI-Adresse (1:0:1:0); Vorgabe: der einzige Brenner</translation>
    </message>
    <message>
        <source>Burning mode: tao (Track-At-Once), sao (Session-At-Once), dao (Disc-At-Once PQ) or raw (Disc-At-Once raw P-W); default: Track-At-Once where offered, as the wizard preselects</source>
        <translation>Brennmodus: tao (Track-At-Once), sao (Session-At-Once), dao (Disc-At-Once PQ) oder raw (Disc-At-Once Raw P-W); Vorgabe: Track-At-Once, wo angeboten, wie im Assistenten</translation>
    </message>
    <message>
        <source>Write speed: max (default), N in KB/s, or Nx, an x-factor from the drive&apos;s list for the disc</source>
        <translation>Schreibgeschwindigkeit: max (Vorgabe), N in KB/s oder Nx, ein x-Faktor aus der Liste des Laufwerks für den Datenträger</translation>
    </message>
    <message>
        <source>Test write: simulate, the disc stays blank</source>
        <translation>Testbrand: nur simulieren, der Datenträger bleibt leer</translation>
    </message>
    <message>
        <source>Send optimum power calibration before writing; a drive that refuses it is warned of and the disc written without it</source>
        <translation>Vor dem Schreiben die Laserleistung kalibrieren (OPC); lehnt das Laufwerk ab, gibt es eine Warnung, und der Datenträger wird ohne Kalibrierung beschrieben</translation>
    </message>
    <message>
        <source>Send optimum power calibration before writing, and stop before anything is written when the drive refuses it</source>
        <translation>Vor dem Schreiben die Laserleistung kalibrieren (OPC) und anhalten, bevor etwas geschrieben wird, wenn das Laufwerk ablehnt</translation>
    </message>
    <message>
        <source>Leave the disc in the drive afterwards</source>
        <translation>Den Datenträger danach im Laufwerk lassen</translation>
    </message>
    <message>
        <source>Close the disc: no session can be added later (Track- and Session-At-Once leave it open by default, as the wizard does)</source>
        <translation>Den Datenträger abschließen: Danach lässt sich keine Sitzung mehr anfügen (Track- und Session-At-Once lassen ihn sonst offen, wie der Assistent)</translation>
    </message>
    <message>
        <source>Read the disc back after the write and compare it with the image (also gives the SHA-256 of the written data); exit status 3 when it differs</source>
        <translation>Den Datenträger nach dem Schreiben zurücklesen und mit dem Abbild vergleichen (nennt auch die SHA-256-Summe der geschriebenen Daten); Exit-Status 3 bei einer Abweichung</translation>
    </message>
    <message>
        <source>Answer yes to the question before burning (needed without a terminal)</source>
        <translation>Die Frage vor dem Brennen mit Ja beantworten (ohne Terminal nötig)</translation>
    </message>
    <message>
        <source>tavrin-burn: a drive is still writing after the cancel
</source>
        <translation>tavrin-burn: Ein Laufwerk schreibt nach dem Abbruch noch
</translation>
    </message>
    <message>
        <source>Burns CD/DVD image files with the engine of the Tavrin wizard: the same device search, checks, staged burn and log texts, from a terminal or a script.</source>
        <translation>Brennt CD/DVD-Abbilddateien mit dem Kern des Tavrin-Assistenten: dieselbe Gerätesuche, dieselben Prüfungen, derselbe Brennablauf und dieselben Protokolltexte, im Terminal oder aus einem Skript.</translation>
    </message>
    <message>
        <source>List the recorders (--all: every drive) with their discs; a drive that is busy, mounted or closed to you says why</source>
        <translation>Die Brenner (--all: alle Laufwerke) mit ihren Datenträgern auflisten; ein Laufwerk, das belegt, eingehängt oder für Sie gesperrt ist, nennt den Grund</translation>
    </message>
    <message>
        <source>Also list drives that only read</source>
        <translation>Auch Laufwerke auflisten, die nur lesen</translation>
    </message>
    <message>
        <source>Eject the disc of a drive</source>
        <translation>Den Datenträger eines Laufwerks auswerfen</translation>
    </message>
    <message>
        <source>Erase a rewritable disc (CD-RW, DVD-RW blanked; DVD+RW formatted)</source>
        <translation>Einen wiederbeschreibbaren Datenträger löschen (CD-RW und DVD-RW werden gelöscht, DVD+RW formatiert)</translation>
    </message>
    <message>
        <source>Erase every block, not just the disc&apos;s table</source>
        <translation>Jeden Block löschen, nicht nur das Inhaltsverzeichnis des Datenträgers</translation>
    </message>
    <message>
        <source>Answer yes to the question before erasing (needed without a terminal)</source>
        <translation>Die Frage vor dem Löschen mit Ja beantworten (ohne Terminal nötig)</translation>
    </message>
    <message>
        <source>The image file to check</source>
        <translation>Die zu prüfende Abbilddatei</translation>
    </message>
    <message>
        <source>Compare the disc in a drive with an image file (the last session written)</source>
        <translation>Den Datenträger in einem Laufwerk mit einer Abbilddatei vergleichen (die zuletzt geschriebene Sitzung)</translation>
    </message>
    <message>
        <source>The image file the disc was burnt from</source>
        <translation>Die Abbilddatei, aus der der Datenträger gebrannt wurde</translation>
    </message>
    <message>
        <source>When the command has ended, however it ended, write a problem report to this file (.tar.gz): the diagnostic log, libburn&apos;s messages, the drives, the version and the settings, without your home folder and user name</source>
        <translation>Nach dem Ende des Befehls, wie auch immer er endete, einen Problembericht in diese Datei schreiben (.tar.gz): das Diagnoseprotokoll, die Meldungen von libburn, die Laufwerke, die Version und die Einstellungen, ohne Ihren Persönlichen Ordner und Benutzernamen</translation>
    </message>
    <message>
        <source>Let the computer sleep while the drive works (by default sleep and idle suspend are held off through logind or the desktop portal)</source>
        <translation>Den Computer schlafen lassen, während das Laufwerk arbeitet (sonst sind Ruhezustand und Bereitschaft bei Leerlauf über logind oder das Desktop-Portal gesperrt)</translation>
    </message>
    <message>
        <source>tavrin-burn: problem report written to %s
</source>
        <translation>tavrin-burn: Problembericht nach %s geschrieben
</translation>
    </message>
    <message>
        <source>The recorder cannot make a test write on this disc</source>
        <translation>Der Brenner kann auf diesem Datenträger keinen Testbrand ausführen</translation>
    </message>
    <message>
        <source>--opc cannot be combined with --test: a test write sends no power calibration</source>
        <translation>--opc lässt sich nicht mit --test verbinden: Ein Testbrand sendet keine Laserleistungskalibrierung</translation>
    </message>
    <message>
        <source>Burn {} ({}) to {} {} ({}, {}){}{}?</source>
        <translation>{0} ({1}) auf {2} {3} ({4}, {5}) brennen{6}{7}?</translation>
    </message>
    <message>
        <source>, test write</source>
        <translation>, als Testbrand</translation>
    </message>
    <message>
        <source>, then verify</source>
        <translation>, danach überprüfen</translation>
    </message>
    <message>
        <source>Verification cancelled</source>
        <translation>Überprüfung abgebrochen</translation>
    </message>
    <message>
        <source>The write had finished when the cancel came; the disc is complete</source>
        <translation>Das Schreiben war beim Abbruch schon beendet; der Datenträger ist vollständig</translation>
    </message>
    <message>
        <source>Disc verified</source>
        <translation>Datenträger überprüft</translation>
    </message>
    <message>
        <source>The recorder offers no burning mode for this disc</source>
        <translation>Der Brenner bietet für diesen Datenträger keinen Brennmodus an</translation>
    </message>
    <message>
        <source>{} is not offered for this recorder and disc; offered: {}</source>
        <translation>{} wird für diesen Brenner und Datenträger nicht angeboten; angeboten: {}</translation>
    </message>
    <message>
        <source>{}x is not a speed of this drive for this disc; it offers: {}</source>
        <translation>{}x ist keine Geschwindigkeit dieses Laufwerks für diesen Datenträger; angeboten: {}</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>the speed is max, a number of KB/s (1385) or an x-factor (8x): </source>
        <translation>Die Geschwindigkeit ist max, eine Zahl in KB/s (1385) oder ein x-Faktor (8x): </translation>
    </message>
    <message>
        <source>Erase the {} in {} {}{}? Everything on it is lost</source>
        <translation>{0} in {1} {2} löschen{3}? Alles darauf geht verloren</translation>
    </message>
    <message>
        <source> (every block)</source>
        <translation> (jeden Block)</translation>
    </message>
    <message>
        <source>Erasing the whole disc</source>
        <translation>Der ganze Datenträger wird gelöscht</translation>
    </message>
    <message>
        <source>Erasing the disc</source>
        <translation>Der Datenträger wird gelöscht</translation>
    </message>
    <message>
        <source>Disc erased</source>
        <translation>Datenträger gelöscht</translation>
    </message>
    <message>
        <source>The check was cancelled</source>
        <translation>Die Prüfung wurde abgebrochen</translation>
    </message>
    <message>
        <source>correct</source>
        <translation>korrekt</translation>
    </message>
    <message>
        <source>incorrect (the file does not match the checksum it carries)</source>
        <translation>falsch (die Datei passt nicht zu ihrer eingebetteten Prüfsumme)</translation>
    </message>
    <message>
        <source>Image: {}, {} bytes</source>
        <translation>Abbild: {}, {} Byte</translation>
    </message>
    <message>
        <source>ISO9660 volume: {} bytes</source>
        <translation>ISO9660-Volume: {} Byte</translation>
    </message>
    <message>
        <source>ISO9660 volume: none (the file is burnt as it is)</source>
        <translation>ISO9660-Volume: keines (die Datei wird so gebrannt, wie sie ist)</translation>
    </message>
    <message>
        <source>Implanted MD5 checksum: </source>
        <translation>Eingebettete MD5-Prüfsumme: </translation>
    </message>
    <message>
        <source>SHA-256 of the data a burn writes (padded to 2048-byte blocks): </source>
        <translation>SHA-256 der Daten, die ein Brennvorgang schreibt (auf 2048-Byte-Blöcke aufgefüllt): </translation>
    </message>
    <message>
        <source>The image is complete</source>
        <translation>Das Abbild ist vollständig</translation>
    </message>
    <message>
        <source>The disc is blank: there is nothing on it to verify</source>
        <translation>Der Datenträger ist leer: Es gibt nichts zu überprüfen</translation>
    </message>
    <message>
        <source>The drive is not a recorder</source>
        <translation>Das Laufwerk ist kein Brenner</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no: </source>
        <translation>nein: </translation>
    </message>
    <message>
        <source>The device search was cancelled</source>
        <translation>Die Gerätesuche wurde abgebrochen</translation>
    </message>
    <message>
        <source>No drive {} was found (tavrin-burn devices --all lists every drive)</source>
        <translation>Kein Laufwerk {} gefunden (tavrin-burn devices --all listet alle Laufwerke auf)</translation>
    </message>
    <message>
        <source>There are {} recorders; choose one with --device ({})</source>
        <translation>Es gibt {} Brenner; wählen Sie einen mit --device ({})</translation>
    </message>
    <message>
        <source>DEVICE</source>
        <translation>GERÄT</translation>
    </message>
    <message>
        <source>LETTER</source>
        <translation>BUCHSTABE</translation>
    </message>
    <message>
        <source>ADDRESS</source>
        <translation>ADRESSE</translation>
    </message>
    <message>
        <source>VENDOR</source>
        <translation>HERSTELLER</translation>
    </message>
    <message>
        <source>PRODUCT</source>
        <translation>PRODUKT</translation>
    </message>
    <message>
        <source>REVISION</source>
        <translation>REVISION</translation>
    </message>
    <message>
        <source>STATE</source>
        <translation>ZUSTAND</translation>
    </message>
    <message>
        <source>DISC</source>
        <translation>DATENTRÄGER</translation>
    </message>
    <message>
        <source>SIZE</source>
        <translation>GRÖSSE</translation>
    </message>
    <message>
        <source>LABEL</source>
        <translation>BEZEICHNUNG</translation>
    </message>
    <message>
        <source>WRITES THIS DISC</source>
        <translation>BESCHREIBT DEN DATENTRÄGER</translation>
    </message>
    <message>
        <source>No drive was found</source>
        <translation>Kein Laufwerk gefunden</translation>
    </message>
    <message>
        <source>No recorder was found</source>
        <translation>Kein Brenner gefunden</translation>
    </message>
    <message>
        <source>{} drive(s)</source>
        <translation>{} Laufwerk(e)</translation>
    </message>
    <message>
        <source>&quot;{}&quot; needs an answer and there is no terminal to ask; add --yes to answer yes</source>
        <translation>„{}“ braucht eine Antwort, und es gibt kein Terminal, um zu fragen; mit --yes lautet sie Ja</translation>
    </message>
    <message>
        <source>Exit status: 0 done (and verified when asked), 1 the burn (or eject, or erase) failed, 2 usage error (also an incomplete image, or a --report file that cannot be written), 3 verification failed (or an image that does not match its implanted MD5), 4 no suitable drive or disc (also one that cannot be erased), 5 several drives or copies of which some succeeded and some failed, 130 cancelled (Ctrl-C or SIGTERM).
Environment: STARBURN_CONFIG (the recorders&apos; configuration file), STARBURN_STATE_DIR (the virtual discs&apos; state folder), STARBURN_TIME_FACTOR, STARBURN_REAL_DRIVES, TAVRIN_LIBBURN_DEBUG (1: libburn&apos;s debugging messages in the diagnostic log).
While a burn, verification or erase runs, sleep and idle suspend are held off through logind (the desktop portal in a sandbox or without logind); --no-inhibit lets the computer sleep.</source>
        <translation>Exit-Status: 0 erledigt (und überprüft, wenn verlangt), 1 Brennen (oder Auswerfen oder Löschen) fehlgeschlagen, 2 Aufruffehler (auch ein unvollständiges Abbild oder eine --report-Datei, die sich nicht schreiben lässt), 3 Überprüfung fehlgeschlagen (oder ein Abbild, das nicht zu seiner eingebetteten MD5-Summe passt), 4 kein geeignetes Laufwerk oder kein geeigneter Datenträger (auch einer, der sich nicht löschen lässt), 5 mehrere Laufwerke oder Kopien, von denen einige gelungen und einige fehlgeschlagen sind, 130 abgebrochen (Strg+C oder SIGTERM).
Umgebung: STARBURN_CONFIG (die Konfigurationsdatei der Brenner), STARBURN_STATE_DIR (der Zustandsordner der virtuellen Datenträger), STARBURN_TIME_FACTOR, STARBURN_REAL_DRIVES, TAVRIN_LIBBURN_DEBUG (1: die Debug-Meldungen von libburn im Diagnoseprotokoll).
Solange gebrannt, überprüft oder gelöscht wird, sind Ruhezustand und Bereitschaft bei Leerlauf über logind gesperrt (in einer Sandbox oder ohne logind über das Desktop-Portal); mit --no-inhibit darf der Computer schlafen.</translation>
    </message>
    <message>
        <source>Burn an image file, or a folder as a data disc, to the disc in a recorder (--verify: then read it back), then eject it</source>
        <translation>Eine Abbilddatei oder einen Ordner als Datendisc auf den Datenträger in einem Brenner brennen (--verify: danach zurücklesen), dann auswerfen</translation>
    </message>
    <message>
        <source>The image file (.iso) to burn; a cue sheet (.cue) with its BIN or WAVE files, burnt Disc-At-Once; or a folder: its contents are burnt as an ISO 9660 data disc with Rock Ridge and Joliet names and the MD5 of every file recorded, made while the disc is written (no image file first)</source>
        <translation>Die zu brennende Abbilddatei (.iso); ein Cue-Sheet (.cue) mit seinen BIN- oder WAVE-Dateien, im Disc-At-Once-Modus gebrannt; oder ein Ordner: sein Inhalt wird als ISO-9660-Datendisc mit Rock-Ridge- und Joliet-Namen und der MD5-Summe jeder Datei gebrannt, erzeugt während der Datenträger geschrieben wird (ohne vorherige Abbilddatei)</translation>
    </message>
    <message>
        <source>A folder&apos;s volume label (default: the folder&apos;s name), fixed to the characters ISO 9660 allows: A-Z, 0-9 and _, at most 32</source>
        <translation>Die Volumebezeichnung eines Ordners (Vorgabe: der Name des Ordners), beschränkt auf die Zeichen, die ISO 9660 erlaubt: A-Z, 0-9 und _, höchstens 32</translation>
    </message>
    <message>
        <source>The drive: its name (CdRom1), drive letter (F:) or SCSI address (1:0:1:0); default: the only recorder. Given more than once, every drive named is written at the same time (an image file only)</source>
        <translation>Das Laufwerk: sein Name (CdRom1), Laufwerksbuchstabe (F:) oder seine SCSI-Adresse (1:0:1:0); Vorgabe: der einzige Brenner. Mehrfach angegeben, werden alle genannten Laufwerke gleichzeitig beschrieben (nur mit einer Abbilddatei)</translation>
    </message>
    <message>
        <source>Write every drive that holds a blank disc big enough for the image (with --overwrite also a rewritable disc that holds data), all at the same time</source>
        <translation>Jedes Laufwerk beschreiben, das einen leeren Datenträger enthält, der groß genug für das Abbild ist (mit --overwrite auch einen wiederbeschreibbaren Datenträger mit Daten), alle gleichzeitig</translation>
    </message>
    <message>
        <source>With --all: also take drives whose rewritable disc holds data</source>
        <translation>Mit --all: auch Laufwerke nehmen, deren wiederbeschreibbarer Datenträger Daten enthält</translation>
    </message>
    <message>
        <source>Burn N discs in a row on each drive: after each the disc is verified (with --verify) and ejected, and the drive waits for the next blank disc</source>
        <translation>N Datenträger nacheinander in jedem Laufwerk brennen: nach jedem wird der Datenträger überprüft (mit --verify) und ausgeworfen, und das Laufwerk wartet auf den nächsten leeren Datenträger</translation>
    </message>
    <message>
        <source>With --copies: a failed copy ends that drive&apos;s series (by default the drive goes on with the next disc)</source>
        <translation>Mit --copies: eine fehlgeschlagene Kopie beendet die Reihe dieses Laufwerks (standardmäßig macht das Laufwerk mit dem nächsten Datenträger weiter)</translation>
    </message>
    <message>
        <source>A Blu-ray disc not formatted yet: spare (formatted with spare areas, the drive&apos;s defect management: a BD-RE&apos;s default, for a BD-R on request) or no-spare (no spare areas, the whole capacity: a BD-R&apos;s default); the image is checked against the formatted size first</source>
        <translation>Eine noch nicht formatierte Blu-ray-Disc: spare (mit Ersatzbereichen formatiert, der Defektverwaltung des Laufwerks: Vorgabe einer BD-RE, bei einer BD-R auf Wunsch) oder no-spare (ohne Ersatzbereiche, die ganze Kapazität: Vorgabe einer BD-R); das Abbild wird zuerst gegen die formatierte Größe geprüft</translation>
    </message>
    <message>
        <source>Write a Blu-ray disc without the drive&apos;s defect management: faster, but bad spots are not replaced (off by default)</source>
        <translation>Eine Blu-ray-Disc ohne die Defektverwaltung des Laufwerks schreiben: schneller, aber schadhafte Stellen werden nicht ersetzt (standardmäßig aus)</translation>
    </message>
    <message>
        <source>When the recorder holds no blank disc, say &quot;Insert a blank disc into &lt;drive&gt;&quot; and wait for one (the drive is asked every 1.5 s; Ctrl-C stops waiting)</source>
        <translation>Wenn der Brenner keinen leeren Datenträger enthält, „Legen Sie einen leeren Datenträger in &lt;Laufwerk&gt; ein“ melden und auf einen warten (das Laufwerk wird alle 1,5 s gefragt; Strg+C beendet das Warten)</translation>
    </message>
    <message>
        <source>Check an image file: its ISO9660 volume size, its implanted MD5 (isomd5sum) and its SHA-256, reading it once; a cue sheet: its tracks and their lengths</source>
        <translation>Eine Abbilddatei prüfen: ihre ISO9660-Volumegröße, ihre eingebettete MD5-Summe (isomd5sum) und ihre SHA-256-Summe, in einem Lesedurchgang; ein Cue-Sheet: seine Titel und ihre Längen</translation>
    </message>
    <message>
        <source>When the drive holds no written disc, say &quot;Insert a disc into &lt;drive&gt;&quot; and wait for one (Ctrl-C stops waiting)</source>
        <translation>Wenn das Laufwerk keinen beschriebenen Datenträger enthält, „Legen Sie einen Datenträger in &lt;Laufwerk&gt; ein“ melden und auf einen warten (Strg+C beendet das Warten)</translation>
    </message>
    <message>
        <source>Copy the disc in a drive to an image file: a data disc&apos;s ISO 9660 volume, an audio CD as OUT.bin with OUT.cue; its SHA-256 goes beside it (FILE.sha256)</source>
        <translation>Den Datenträger in einem Laufwerk in eine Abbilddatei kopieren: das ISO-9660-Volume einer Datendisc, eine Audio-CD als OUT.bin mit OUT.cue; ihre SHA-256-Summe kommt daneben (DATEI.sha256)</translation>
    </message>
    <message>
        <source>The image file to write (OUT.iso)</source>
        <translation>Die zu schreibende Abbilddatei (OUT.iso)</translation>
    </message>
    <message>
        <source>Fill sectors that cannot be read with zeros and list them (in FILE.bad-sectors) instead of stopping at the first</source>
        <translation>Sektoren, die sich nicht lesen lassen, mit Nullen füllen und auflisten (in DATEI.bad-sectors), statt beim ersten anzuhalten</translation>
    </message>
    <message>
        <source>MEDIA ID (MAKER)</source>
        <translation>MEDIEN-ID (HERSTELLER)</translation>
    </message>
    <message>
        <source>A cue sheet is burnt Disc-At-Once: --mode dao, or no --mode</source>
        <translation>Ein Cue-Sheet wird im Disc-At-Once-Modus gebrannt: --mode dao oder kein --mode</translation>
    </message>
    <message>
        <source>The cue sheet can be burnt</source>
        <translation>Das Cue-Sheet kann gebrannt werden</translation>
    </message>
    <message>
        <source>{}: {} {}, the image from block {} on</source>
        <translation>{}: {} {}, das Abbild ab Block {}</translation>
    </message>
    <message>
        <source>Audio CD: {} tracks, copied to {} and {}</source>
        <translation>Audio-CD: {} Spuren, kopiert nach {} und {}</translation>
    </message>
    <message>
        <source>Track {:02}  audio  from sector {}, {} up to the next track</source>
        <translation>Spur {:02}  Audio  ab Sektor {}, {} bis zur nächsten Spur</translation>
    </message>
    <message>
        <source>Data track {}: the ISO 9660 volume &quot;{}&quot;, {} blocks ({} bytes) from block {}</source>
        <translation>Datenspur {}: das ISO-9660-Volume „{}“, {} Blöcke ({} Bytes) ab Block {}</translation>
    </message>
    <message>
        <source>Data track {}: no ISO 9660 volume; its {} blocks are copied as they are</source>
        <translation>Datenspur {}: kein ISO-9660-Volume; ihre {} Blöcke werden unverändert kopiert</translation>
    </message>
    <message>
        <source>The cue sheet does not fit on the disc: {} of {}</source>
        <translation>Das Cue-Sheet passt nicht auf den Datenträger: {} von {}</translation>
    </message>
    <message>
        <source>{} exists already; choose another name or remove it</source>
        <translation>{} gibt es bereits; wählen Sie einen anderen Namen oder entfernen Sie die Datei</translation>
    </message>
    <message>
        <source>The disc is blank: there is nothing on it to copy</source>
        <translation>Der Datenträger ist leer: Es gibt nichts zu kopieren</translation>
    </message>
    <message>
        <source>Sector {} cannot be read: {}</source>
        <translation>Sektor {} lässt sich nicht lesen: {}</translation>
    </message>
    <message>
        <source>Fill the unreadable sectors with zeros, list them and go on (no: stop the copy)</source>
        <translation>Die unlesbaren Sektoren mit Nullen füllen, auflisten und weitermachen (nein: die Kopie anhalten)</translation>
    </message>
    <message>
        <source>Written: {}</source>
        <translation>Geschrieben: {}</translation>
    </message>
    <message>
        <source>Disc copied with {} unreadable sector filled with zeros: {} (listed in {})</source>
        <translation>Datenträger kopiert, {} unlesbarer Sektor mit Nullen gefüllt: {} (aufgelistet in {})</translation>
    </message>
    <message>
        <source>Disc copied with {} unreadable sectors filled with zeros: {} (listed in {})</source>
        <translation>Datenträger kopiert, {} unlesbare Sektoren mit Nullen gefüllt: {} (aufgelistet in {})</translation>
    </message>
    <message>
        <source>Disc copied: {} bytes</source>
        <translation>Datenträger kopiert: {} Bytes</translation>
    </message>
    <message>
        <source>The volume label is {}: ISO 9660 allows only A-Z, 0-9 and _ (at most 32)</source>
        <translation>Die Volumebezeichnung lautet {}: ISO 9660 erlaubt nur A-Z, 0-9 und _ (höchstens 32 Zeichen)</translation>
    </message>
    <message>
        <source>{} is named twice</source>
        <translation>{} ist zweimal angegeben</translation>
    </message>
    <message>
        <source>its disc is not blank</source>
        <translation>sein Datenträger ist nicht leer</translation>
    </message>
    <message>
        <source>its disc is too small for the image</source>
        <translation>sein Datenträger ist zu klein für das Abbild</translation>
    </message>
    <message>
        <source>{} is left out: {}</source>
        <translation>{} wird ausgelassen: {}</translation>
    </message>
    <message>
        <source>No drive holds a blank or rewritable disc big enough for the image</source>
        <translation>Kein Laufwerk enthält einen leeren oder wiederbeschreibbaren Datenträger, der groß genug für das Abbild ist</translation>
    </message>
    <message>
        <source>No drive holds a blank disc big enough for the image</source>
        <translation>Kein Laufwerk enthält einen leeren Datenträger, der groß genug für das Abbild ist</translation>
    </message>
    <message>
        <source>DRIVE</source>
        <translation>LAUFWERK</translation>
    </message>
    <message>
        <source>COPY</source>
        <translation>KOPIE</translation>
    </message>
    <message>
        <source>RESULT</source>
        <translation>ERGEBNIS</translation>
    </message>
    <message>
        <source>TIME</source>
        <translation>DAUER</translation>
    </message>
    <message>
        <source>AVERAGE SPEED</source>
        <translation>MITTLERE GESCHWINDIGKEIT</translation>
    </message>
    <message>
        <source>VERIFY</source>
        <translation>ÜBERPRÜFUNG</translation>
    </message>
    <message>
        <source>MESSAGE</source>
        <translation>MELDUNG</translation>
    </message>
    <message>
        <source>{} of {} copies done, {} failed</source>
        <translation>{} von {} Kopien fertig, {} fehlgeschlagen</translation>
    </message>
    <message>
        <source>Several drives and copies burn an image file: a cue sheet or a folder is burnt on one drive, one disc at a time</source>
        <translation>Mehrere Laufwerke und Kopien brennen nur eine Abbilddatei: Ein Cue-Sheet oder ein Ordner wird in einem Laufwerk gebrannt, ein Datenträger nach dem anderen</translation>
    </message>
    <message>
        <source>Several drives and copies are written Track-At-Once: --mode {} cannot be used with them</source>
        <translation>Mehrere Laufwerke und Kopien werden im Track-At-Once-Modus geschrieben: --mode {} lässt sich damit nicht verwenden</translation>
    </message>
    <message>
        <source>Burn {} ({}) to {} drive at once: {}{}{}?</source>
        <translation>{} ({}) auf {} Laufwerk brennen: {}{}{}?</translation>
    </message>
    <message>
        <source>Burn {} ({}) to {} drives at once: {}{}{}?</source>
        <translation>{} ({}) gleichzeitig auf {} Laufwerke brennen: {}{}{}?</translation>
    </message>
    <message>
        <source>, {} copies each</source>
        <translation>, je {} Kopien</translation>
    </message>
    <message>
        <source>, each verified</source>
        <translation>, jede überprüft</translation>
    </message>
    <message>
        <source>Cancelling every drive</source>
        <translation>Der Vorgang wird in allen Laufwerken abgebrochen</translation>
    </message>
</context>
</TS>
