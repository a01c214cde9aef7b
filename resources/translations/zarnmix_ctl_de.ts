<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>QGroupBox</name>
    <message>
        <source>COPY</source>
        <translation>KOPIEREN</translation>
    </message>
    <message>
        <source>PASTE</source>
        <translation>EINFÜGEN</translation>
    </message>
    <message>
        <source>Mark this window as the one to paste from; its text and state are taken when PASTE is pressed</source>
        <translation>Dieses Fenster als Quelle zum Einfügen markieren; Text und Zustand werden übernommen, wenn EINFÜGEN gedrückt wird</translation>
    </message>
    <message>
        <source>Take the text and the ON/OFF state of the window where COPY was pressed last; a changed state is applied at once</source>
        <translation>Text und ON/OFF-Zustand des Fensters übernehmen, in dem zuletzt KOPIEREN gedrückt wurde; ein geänderter Zustand wird sofort angewendet</translation>
    </message>
    <message>
        <source>Filter specification</source>
        <translation>Filterbeschreibung</translation>
    </message>
    <message>
        <source>An optional first line &quot;normalize&quot; keeps the gain at or below 1 at every frequency.
Then points, each a frequency in Hz and an amplitude on one line: 1 passes, 0 removes, and the amplitude runs in a straight line from point to point. Frequencies must not fall.

Example, a low-pass from 150 Hz to 1000 Hz:
normalize
150 1
1000 0</source>
        <translation>Eine optionale erste Zeile &quot;normalize&quot; hält die Verstärkung bei jeder Frequenz bei höchstens 1.
Danach Punkte, je eine Frequenz in Hz und eine Amplitude in einer Zeile: 1 lässt durch, 0 entfernt, und von Punkt zu Punkt verläuft die Amplitude geradlinig. Die Frequenzen dürfen nicht abnehmen.

Beispiel, ein Tiefpass von 150 Hz bis 1000 Hz:
normalize
150 1
1000 0</translation>
    </message>
    <message>
        <source>Filter specification: an optional &quot;normalize&quot; line, then points of a frequency in Hz and a linear amplitude</source>
        <translation>Filterbeschreibung: eine optionale Zeile &quot;normalize&quot;, dann Punkte aus einer Frequenz in Hz und einer linearen Amplitude</translation>
    </message>
    <message>
        <source>Apply filter</source>
        <translation>Filter anwenden</translation>
    </message>
    <message>
        <source>System information</source>
        <translation>Systeminformationen</translation>
    </message>
    <message>
        <source>The daemon&apos;s sample rate, sample width and number of channels, and its input and output devices; read at start and after each accepted Add Options request</source>
        <translation>Abtastrate, Sample-Breite und Kanalzahl des Daemons sowie seine Ein- und Ausgabegeräte; gelesen beim Start und nach jeder angenommenen Anfrage unter „Optionen hinzufügen“</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>Importieren…</translation>
    </message>
    <message>
        <source>Replace the text with a GraphicEQ line or a parametric EQ file (Preamp and Filter lines) at the daemon&apos;s sample rate; Apply filter sends it</source>
        <translation>Den Text durch eine GraphicEQ-Zeile oder eine parametrische EQ-Datei (Zeilen Preamp und Filter) bei der Abtastrate des Daemons ersetzen; „Apply filter“ sendet ihn</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportieren…</translation>
    </message>
    <message>
        <source>Save the text last applied in this window, or the response of the filter in force as a GraphicEQ line</source>
        <translation>Den zuletzt in diesem Fenster angewendeten Text speichern, oder den Frequenzgang des wirksamen Filters als GraphicEQ-Zeile</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>No filter with a finite response is in force.</source>
        <translation>Kein Filter mit endlichem Frequenzgang ist wirksam.</translation>
    </message>
    <message>
        <source>No filter text was applied in this window.</source>
        <translation>In diesem Fenster wurde kein Filtertext angewendet.</translation>
    </message>
    <message>
        <source>Import filter</source>
        <translation>Filter importieren</translation>
    </message>
    <message>
        <source>Filter files (*.txt);;All files (*)</source>
        <translation>Filterdateien (*.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Cannot import %1</source>
        <translation>%1 kann nicht importiert werden</translation>
    </message>
    <message>
        <source>GraphicEQ (*.txt)</source>
        <translation>GraphicEQ (*.txt)</translation>
    </message>
    <message>
        <source>Export filter</source>
        <translation>Filter exportieren</translation>
    </message>
    <message>
        <source>Filter text (*.txt)</source>
        <translation>Filtertext (*.txt)</translation>
    </message>
    <message>
        <source>Cannot export %1</source>
        <translation>%1 kann nicht exportiert werden</translation>
    </message>
    <message>
        <source>Design the filter from the text and send it to the daemon; while the state is OFF, this switches it ON</source>
        <translation>Das Filter aus dem Text entwerfen und an den Daemon senden; im Zustand OFF schaltet dies auf ON</translation>
    </message>
    <message>
        <source>Imported filters</source>
        <translation>Importierte Filter</translation>
    </message>
    <message>
        <source>Preamp </source>
        <translation>Vorverstärkung </translation>
    </message>
    <message>
        <source>The file&apos;s preamp, added to every gain</source>
        <translation>Die Vorverstärkung der Datei, zu jeder Verstärkung addiert</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Fc (Hz)</source>
        <translation>Fc (Hz)</translation>
    </message>
    <message>
        <source>Gain (dB)</source>
        <translation>Verstärkung (dB)</translation>
    </message>
    <message>
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message>
        <source>The imported file&apos;s filters: change a frequency, gain or Q and the filter text is made again; Apply filter sends it</source>
        <translation>Die Filter der importierten Datei: Eine geänderte Frequenz, Verstärkung oder Güte erzeugt den Filtertext neu; „Filter anwenden“ sendet ihn</translation>
    </message>
    <message>
        <source>Select every filter</source>
        <translation>Alle Filter auswählen</translation>
    </message>
</context>
<context>
    <name>ZARNAddOptions</name>
    <message>
        <source>Add Options</source>
        <translation>Optionen hinzufügen</translation>
    </message>
    <message>
        <source>ADD</source>
        <translation>HINZUFÜGEN</translation>
    </message>
    <message>
        <source>Send the options to the daemon</source>
        <translation>Die Optionen an den Daemon senden</translation>
    </message>
    <message>
        <source>Options to add</source>
        <translation>Hinzuzufügende Optionen</translation>
    </message>
    <message>
        <source>Options for the running daemon, in its own syntax; Return or ADD sends them (Latin-1, at most 1023 bytes). Accepted options clear the field; the daemon&apos;s answer to others shows below it</source>
        <translation>Optionen für den laufenden Daemon, in seiner eigenen Syntax; die Eingabetaste oder HINZUFÜGEN sendet sie (Latin-1, höchstens 1023 Bytes). Angenommene Optionen leeren das Feld; die Antwort des Daemons auf andere erscheint darunter</translation>
    </message>
</context>
<context>
    <name>ZARNAudioDelayLocator</name>
    <message>
        <source>Audio Delay Locator</source>
        <translation>Latenzmessung</translation>
    </message>
    <message>
        <source>ON/OFF</source>
        <translation>EIN/AUS</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>VOL+</source>
        <translation>VOL+</translation>
    </message>
    <message>
        <source>VOL-</source>
        <translation>VOL-</translation>
    </message>
    <message>
        <source>InCh </source>
        <translation>Eingang </translation>
    </message>
    <message>
        <source>OutCh </source>
        <translation>Ausgang </translation>
    </message>
    <message>
        <source>Switch the delay locator on or off: it sends a test signal on the output channel and measures how late it comes back on the input channel</source>
        <translation>Die Latenzmessung ein- oder ausschalten: Sie sendet ein Testsignal auf dem Ausgangskanal und misst, wie verspätet es auf dem Eingangskanal zurückkommt</translation>
    </message>
    <message>
        <source>Start the measurement afresh</source>
        <translation>Die Messung neu beginnen</translation>
    </message>
    <message>
        <source>Raise the test signal&apos;s output level by one step</source>
        <translation>Den Ausgangspegel des Testsignals um eine Stufe anheben</translation>
    </message>
    <message>
        <source>Lower the test signal&apos;s output level by one step</source>
        <translation>Den Ausgangspegel des Testsignals um eine Stufe absenken</translation>
    </message>
    <message>
        <source>Input channel on which the test signal is measured.</source>
        <translation>Eingangskanal, auf dem das Testsignal gemessen wird.</translation>
    </message>
    <message>
        <source>Output channel on which the test signal is sent.</source>
        <translation>Ausgangskanal, auf dem das Testsignal gesendet wird.</translation>
    </message>
    <message>
        <source>The locator&apos;s state, the test signal&apos;s level and the delay measured, in samples and in milliseconds; read every 100 ms</source>
        <translation>Zustand der Messung, Pegel des Testsignals und gemessene Latenz in Samples und Millisekunden; alle 100 ms gelesen</translation>
    </message>
    <message>
        <source>Delay locator input channel</source>
        <translation>Eingangskanal der Laufzeitmessung</translation>
    </message>
    <message>
        <source>Delay locator output channel</source>
        <translation>Ausgangskanal der Laufzeitmessung</translation>
    </message>
</context>
<context>
    <name>ZARNCompressor</name>
    <message>
        <source>Zarnmix Compressor for %1</source>
        <translation>Zarnmix-Kompressor für %1</translation>
    </message>
    <message>
        <source>COPY</source>
        <translation>KOPIEREN</translation>
    </message>
    <message>
        <source>PASTE</source>
        <translation>EINFÜGEN</translation>
    </message>
    <message>
        <source>Current gain</source>
        <translation>Aktuelle Verstärkung</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Aktiv</translation>
    </message>
    <message>
        <source>Knee</source>
        <translation>Knie</translation>
    </message>
    <message>
        <source>Attack</source>
        <translation>Ansprechzeit</translation>
    </message>
    <message>
        <source>Decay</source>
        <translation>Rücklaufzeit</translation>
    </message>
    <message>
        <source>The gain the compressor applies now, as a factor: 1 leaves the level as it is, 0.5 halves it; read every 100 ms</source>
        <translation>Die Verstärkung, die der Kompressor gerade anwendet, als Faktor: 1 lässt den Pegel unverändert, 0.5 halbiert ihn; alle 100 ms gelesen</translation>
    </message>
    <message>
        <source>1 switches the compressor on, 0 off.</source>
        <translation>1 schaltet den Kompressor ein, 0 aus.</translation>
    </message>
    <message>
        <source>Knee, in the daemon&apos;s units: where on the level scale the compressor starts to reduce the gain.</source>
        <translation>Knie, in den Einheiten des Daemons: ab welcher Stelle der Pegelskala der Kompressor die Verstärkung verringert.</translation>
    </message>
    <message>
        <source>Attack, in the daemon&apos;s units: how fast the gain falls when the level rises.</source>
        <translation>Ansprechzeit, in den Einheiten des Daemons: wie schnell die Verstärkung sinkt, wenn der Pegel steigt.</translation>
    </message>
    <message>
        <source>Decay, in the daemon&apos;s units: how fast the gain recovers when the level falls.</source>
        <translation>Rücklaufzeit, in den Einheiten des Daemons: wie schnell sich die Verstärkung erholt, wenn der Pegel sinkt.</translation>
    </message>
    <message>
        <source>Mark this window as the one to paste from; its four settings are taken when PASTE is pressed</source>
        <translation>Dieses Fenster als Quelle zum Einfügen markieren; seine vier Einstellungen werden übernommen, wenn EINFÜGEN gedrückt wird</translation>
    </message>
    <message>
        <source>Take the four settings of the compressor window where COPY was pressed last, and send them</source>
        <translation>Die vier Einstellungen des Kompressorfensters übernehmen, in dem zuletzt KOPIEREN gedrückt wurde, und sie senden</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Copy compressor settings</source>
        <translation>Kompressor-Einstellungen kopieren</translation>
    </message>
    <message>
        <source>Paste compressor settings</source>
        <translation>Kompressor-Einstellungen einfügen</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>0 to %1</source>
        <translation>0 bis %1</translation>
    </message>
    <message>
        <source>-inf dB</source>
        <translation>-inf dB</translation>
    </message>
    <message>
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
    <message>
        <source>Switches the compressor on or off</source>
        <translation>Schaltet den Kompressor ein oder aus</translation>
    </message>
    <message>
        <source>The current gain as a level in dB; 0 dB leaves the level as it is</source>
        <translation>Die aktuelle Verstärkung als Pegel in dB; 0 dB lässt den Pegel, wie er ist</translation>
    </message>
    <message>
        <source>How far the compressor reduces the level now, up to 24 dB</source>
        <translation>Wie weit der Kompressor den Pegel gerade absenkt, bis 24 dB</translation>
    </message>
</context>
<context>
    <name>ZARNConnect</name>
    <message>
        <source>Main Device Input</source>
        <translation>Eingang Hauptgerät</translation>
    </message>
    <message>
        <source>Main Device Output</source>
        <translation>Ausgang Hauptgerät</translation>
    </message>
    <message>
        <source> - input</source>
        <translation> - Eingang</translation>
    </message>
    <message>
        <source> - output</source>
        <translation> - Ausgang</translation>
    </message>
    <message>
        <source>Connection diagram</source>
        <translation>Verbindungsdiagramm</translation>
    </message>
    <message>
        <source>%1: from channel %2 to channel %3</source>
        <translation>%1: von Kanal %2 zu Kanal %3</translation>
    </message>
    <message>
        <source>main output</source>
        <translation>Hauptausgang</translation>
    </message>
    <message>
        <source>main input</source>
        <translation>Haupteingang</translation>
    </message>
    <message>
        <source>%1 Channels 0 to %2 lead to a %3 channel.</source>
        <translation>%1 Die Kanäle 0 bis %2 führen zu einem Kanal (%3).</translation>
    </message>
    <message>
        <source>%1 There is no %2 channel.</source>
        <translation>%1 Es gibt keinen Kanal (%2).</translation>
    </message>
    <message>
        <source> (none)</source>
        <translation> (keiner)</translation>
    </message>
</context>
<context>
    <name>ZARNController</name>
    <message>
        <source>SrcCh </source>
        <translation>Quelle </translation>
    </message>
    <message>
        <source>DstCh </source>
        <translation>Ziel </translation>
    </message>
    <message>
        <source>Compressor</source>
        <translation>Kompressor</translation>
    </message>
    <message>
        <source>receive (RX)</source>
        <translation>Empfang (RX)</translation>
    </message>
    <message>
        <source>monitor</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>transmit (TX)</source>
        <translation>Senden (TX)</translation>
    </message>
    <message>
        <source>Gain of the %1 direction in the daemon&apos;s steps, from %2 to %3</source>
        <translation>Verstärkung der Richtung %1 in Stufen des Daemons, von %2 bis %3</translation>
    </message>
    <message>
        <source>Mute the %1 direction</source>
        <translation>Richtung %1 stummschalten</translation>
    </message>
    <message>
        <source>Invert the polarity of the %1 direction</source>
        <translation>Polarität der Richtung %1 umkehren</translation>
    </message>
    <message>
        <source>Raise the %1 gain by one step, up to %2</source>
        <translation>Verstärkung der Richtung %1 um eine Stufe anheben, bis %2</translation>
    </message>
    <message>
        <source>Lower the %1 gain by one step, down to %2</source>
        <translation>Verstärkung der Richtung %1 um eine Stufe absenken, bis %2</translation>
    </message>
    <message>
        <source>the main input channel routed to this channel</source>
        <translation>der Haupteingangskanal, der zu diesem Kanal geführt wird</translation>
    </message>
    <message>
        <source>the main output channel this channel feeds</source>
        <translation>der Hauptausgangskanal, den dieser Kanal speist</translation>
    </message>
    <message>
        <source>the main output channel this loopback channel records</source>
        <translation>der Hauptausgangskanal, den dieser Loopback-Kanal aufnimmt</translation>
    </message>
    <message>
        <source>the destination channel of this loopback channel</source>
        <translation>der Zielkanal dieses Loopback-Kanals</translation>
    </message>
    <message>
        <source>the main input channel monitored</source>
        <translation>der abgehörte Haupteingangskanal</translation>
    </message>
    <message>
        <source>the main output channel it is heard on</source>
        <translation>der Hauptausgangskanal, auf dem er zu hören ist</translation>
    </message>
    <message>
        <source>the main output channel monitored</source>
        <translation>der abgehörte Hauptausgangskanal</translation>
    </message>
    <message>
        <source>the main output channel it is copied to</source>
        <translation>der Hauptausgangskanal, auf den er kopiert wird</translation>
    </message>
    <message>
        <source>the channel monitored</source>
        <translation>der abgehörte Kanal</translation>
    </message>
    <message>
        <source>the channel it is heard on</source>
        <translation>der Kanal, auf dem er zu hören ist</translation>
    </message>
    <message>
        <source>Source channel: %1.</source>
        <translation>Quellkanal: %1.</translation>
    </message>
    <message>
        <source>Destination channel: %1.</source>
        <translation>Zielkanal: %1.</translation>
    </message>
    <message>
        <source>Open the equalizer of the receive (RX) direction; greyed when the daemon has no filter for it</source>
        <translation>Den Equalizer der Empfangsrichtung (RX) öffnen; ausgegraut, wenn der Daemon dafür kein Filter hat</translation>
    </message>
    <message>
        <source>Open the equalizer of the transmit (TX) direction; greyed when the daemon has no filter for it</source>
        <translation>Den Equalizer der Senderichtung (TX) öffnen; ausgegraut, wenn der Daemon dafür kein Filter hat</translation>
    </message>
    <message>
        <source>Delay of this channel in samples, up to the largest the daemon accepts.</source>
        <translation>Verzögerung dieses Kanals in Samples, bis zum größten Wert, den der Daemon annimmt.</translation>
    </message>
    <message>
        <source>Open the compressor window of the main output</source>
        <translation>Das Kompressorfenster des Hauptausgangs öffnen</translation>
    </message>
    <message>
        <source>Open the compressor window of this device or loopback, shared by its channels</source>
        <translation>Das Kompressorfenster dieses Geräts oder Loopbacks öffnen, das sich seine Kanäle teilen</translation>
    </message>
    <message>
        <source>Peak level: receive (RX) above, transmit (TX) below; full width is full scale, each mark an eighth of it</source>
        <translation>Spitzenpegel: oben Empfang (RX), unten Senden (TX); die volle Breite ist Vollaussteuerung, jede Marke ein Achtel davon</translation>
    </message>
    <message>
        <source>Peak level: full width is full scale, each mark an eighth of it</source>
        <translation>Spitzenpegel: die volle Breite ist Vollaussteuerung, jede Marke ein Achtel davon</translation>
    </message>
    <message>
        <source>Channel %1.%2</source>
        <translation>Kanal %1.%2</translation>
    </message>
    <message>
        <source>mute</source>
        <translation>stumm</translation>
    </message>
    <message>
        <source>polarity</source>
        <translation>Polarität</translation>
    </message>
    <message>
        <source>source channel</source>
        <translation>Quellkanal</translation>
    </message>
    <message>
        <source>destination channel</source>
        <translation>Zielkanal</translation>
    </message>
    <message>
        <source>gain up</source>
        <translation>Verstärkung höher</translation>
    </message>
    <message>
        <source>gain down</source>
        <translation>Verstärkung niedriger</translation>
    </message>
    <message>
        <source>gain</source>
        <translation>Verstärkung</translation>
    </message>
    <message>
        <source>equalizer</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>delay</source>
        <translation>Verzögerung</translation>
    </message>
    <message>
        <source>compressor</source>
        <translation>Kompressor</translation>
    </message>
    <message>
        <source>level meter</source>
        <translation>Pegelanzeige</translation>
    </message>
    <message>
        <source>diagram input</source>
        <translation>Eingang im Diagramm</translation>
    </message>
    <message>
        <source>diagram output</source>
        <translation>Ausgang im Diagramm</translation>
    </message>
    <message>
        <source>Link channels</source>
        <translation>Kanäle koppeln</translation>
    </message>
    <message>
        <source>link channels</source>
        <translation>Kanäle koppeln</translation>
    </message>
    <message>
        <source>While ticked, a gain step, a typed gain or a mute on one channel goes to every channel of this device or loopback; polarity, routing and delay stay with each channel</source>
        <translation>Wenn angehakt, gilt eine Verstärkungsstufe, eine eingetippte Verstärkung oder ein Stummschalten auf einem Kanal für alle Kanäle dieses Geräts oder Loopbacks; Polarität, Routing und Verzögerung bleiben bei jedem Kanal</translation>
    </message>
</context>
<context>
    <name>ZARNEQButtons</name>
    <message>
        <source>Presets</source>
        <translation>Vorlagen</translation>
    </message>
    <message>
        <source>Defa&amp;ults</source>
        <translation>&amp;Standard</translation>
    </message>
    <message>
        <source>&amp;LowPass</source>
        <translation>&amp;Tiefpass</translation>
    </message>
    <message>
        <source>&amp;HighPass</source>
        <translation>&amp;Hochpass</translation>
    </message>
    <message>
        <source>&amp;BandPass</source>
        <translation>&amp;Bandpass</translation>
    </message>
    <message>
        <source>Fill the editor with a flat response, amplitude 1 from 20 Hz to 20 kHz: the sound passes unchanged</source>
        <translation>Den Editor mit einem flachen Verlauf füllen, Amplitude 1 von 20 Hz bis 20 kHz: der Klang bleibt unverändert</translation>
    </message>
    <message>
        <source>Fill the editor with a low-pass: 1 up to 150 Hz, falling to 0 at 1000 Hz</source>
        <translation>Den Editor mit einem Tiefpass füllen: 1 bis 150 Hz, auf 0 fallend bei 1000 Hz</translation>
    </message>
    <message>
        <source>Fill the editor with a high-pass: 0 up to 150 Hz, rising to 1 at 1000 Hz</source>
        <translation>Den Editor mit einem Hochpass füllen: 0 bis 150 Hz, auf 1 steigend bei 1000 Hz</translation>
    </message>
    <message>
        <source>Fill the editor with a band-pass: 1 from 500 Hz to 1000 Hz, 0 below 250 Hz and from 2000 Hz on</source>
        <translation>Den Editor mit einem Bandpass füllen: 1 von 500 Hz bis 1000 Hz, 0 unter 250 Hz und ab 2000 Hz</translation>
    </message>
</context>
<context>
    <name>ZARNEQFreqResponse</name>
    <message>
        <source>%1 Hz: gain %2 (%3 dB)</source>
        <translation>%1 Hz: Verstärkung %2 (%3 dB)</translation>
    </message>
</context>
<context>
    <name>ZARNEQResponseView</name>
    <message>
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
    <message>
        <source>%1 Hz: %2 dB</source>
        <translation>%1 Hz: %2 dB</translation>
    </message>
    <message>
        <source>No filter in force</source>
        <translation>Kein Filter wirksam</translation>
    </message>
</context>
<context>
    <name>ZARNEqualizer</name>
    <message>
        <source>expected two numbers, a frequency in Hz and an amplitude: digits with an optional decimal point, no sign, exponent or comma</source>
        <translation>zwei Zahlen erwartet, eine Frequenz in Hz und eine Amplitude: Ziffern mit optionalem Dezimalpunkt, ohne Vorzeichen, Exponent oder Komma</translation>
    </message>
    <message>
        <source>expected two numbers: after the frequency, an amplitude on the same line</source>
        <translation>zwei Zahlen erwartet: nach der Frequenz eine Amplitude in derselben Zeile</translation>
    </message>
    <message>
        <source>frequency below the previous point</source>
        <translation>Frequenz unter der des vorigen Punkts</translation>
    </message>
    <message>
        <source>a number is too large for the filter</source>
        <translation>eine Zahl ist zu groß für das Filter</translation>
    </message>
    <message>
        <source>no filter can be designed for this channel</source>
        <translation>für diesen Kanal lässt sich kein Filter entwerfen</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>Switch the filter off: the daemon drops this channel&apos;s filter</source>
        <translation>Das Filter ausschalten: der Daemon verwirft das Filter dieses Kanals</translation>
    </message>
    <message>
        <source>Switch the filter on: the text below is designed and sent</source>
        <translation>Das Filter einschalten: der Text unten wird entworfen und gesendet</translation>
    </message>
    <message>
        <source>Gain of the filter in force over frequency, linear, from 0 Hz up to 8 kHz, or half the sample rate when that is lower</source>
        <translation>Verstärkung des wirksamen Filters über der Frequenz, linear, von 0 Hz bis 8 kHz oder bis zur halben Abtastrate, wenn diese niedriger ist</translation>
    </message>
    <message>
        <source>EQ filter specification is empty</source>
        <translation>Die EQ-Filterbeschreibung ist leer</translation>
    </message>
    <message>
        <source>Invalid EQ filter specification</source>
        <translation>Ungültige EQ-Filterbeschreibung</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Filter specification</source>
        <translation>Filterbeschreibung</translation>
    </message>
    <message>
        <source>Gain of the filter in force in dB, from 20 Hz to half the sample rate on a logarithmic axis; the pointer&apos;s frequency and gain show at the top right</source>
        <translation>Verstärkung des wirksamen Filters in dB, von 20 Hz bis zur halben Abtastrate auf logarithmischer Achse; Frequenz und Verstärkung unter dem Zeiger stehen oben rechts</translation>
    </message>
</context>
<context>
    <name>ZARNFold</name>
    <message>
        <source>Fold or unfold this panel</source>
        <translation>Diesen Bereich ein- oder ausklappen</translation>
    </message>
</context>
<context>
    <name>ZARNGainLabel</name>
    <message>
        <source>Type a gain...</source>
        <translation>Verstärkung eintippen...</translation>
    </message>
    <message>
        <source>Reset to 0</source>
        <translation>Auf 0 zurücksetzen</translation>
    </message>
    <message>
        <source>Double-click to type a gain from %1 to %2; the context menu resets it to 0.</source>
        <translation>Doppelklick, um eine Verstärkung von %1 bis %2 einzutippen; das Kontextmenü setzt sie auf 0 zurück.</translation>
    </message>
</context>
<context>
    <name>ZARNMainWindow</name>
    <message>
        <source>Try now</source>
        <translation>Jetzt versuchen</translation>
    </message>
    <message>
        <source>Look for the daemon, or for its targets, at once</source>
        <translation>Sofort nach dem Daemon oder seinen Zielen suchen</translation>
    </message>
    <message>
        <source>Look for targets again</source>
        <translation>Erneut nach Zielen suchen</translation>
    </message>
    <message>
        <source>Not connected to %1, trying again</source>
        <translation>Keine Verbindung zu %1, neuer Versuch läuft</translation>
    </message>
    <message>
        <source>Waiting for the mixer daemon at %1</source>
        <translation>Warten auf den Mixer-Daemon unter %1</translation>
    </message>
    <message>
        <source>The daemon is not answering, next try in %1 s</source>
        <translation>Der Daemon antwortet nicht, nächster Versuch in %1 s</translation>
    </message>
    <message>
        <source>The daemon is not answering, trying again</source>
        <translation>Der Daemon antwortet nicht, neuer Versuch läuft</translation>
    </message>
    <message>
        <source>No control targets found on %1</source>
        <translation>Keine Steuerziele auf %1 gefunden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Save setup...</source>
        <translation>Einstellungen speichern...</translation>
    </message>
    <message>
        <source>Load setup...</source>
        <translation>Einstellungen laden...</translation>
    </message>
    <message>
        <source>device channels</source>
        <translation>Gerätekanäle</translation>
    </message>
    <message>
        <source>loopback channels</source>
        <translation>Loopback-Kanäle</translation>
    </message>
    <message>
        <source>input monitors</source>
        <translation>Eingangsmonitore</translation>
    </message>
    <message>
        <source>output monitors</source>
        <translation>Ausgangsmonitore</translation>
    </message>
    <message>
        <source>local monitors</source>
        <translation>lokale Monitore</translation>
    </message>
    <message>
        <source>main output channels</source>
        <translation>Hauptausgangskanäle</translation>
    </message>
    <message>
        <source>main input channels</source>
        <translation>Haupteingangskanäle</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Showing %1 of %2 targets</source>
        <translation>%1 von %2 Zielen angezeigt</translation>
    </message>
    <message>
        <source>Left out: %1</source>
        <translation>Ausgelassen: %1</translation>
    </message>
    <message>
        <source>Show the strips whose title holds...</source>
        <translation>Streifen zeigen, deren Titel enthält...</translation>
    </message>
    <message>
        <source>Escape shows every strip again</source>
        <translation>Escape zeigt wieder alle Streifen</translation>
    </message>
    <message>
        <source>Find strips</source>
        <translation>Streifen suchen</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Verbunden mit %1</translation>
    </message>
</context>
<context>
    <name>ZARNRecordStatus</name>
    <message>
        <source>Recording status</source>
        <translation>Aufnahmestatus</translation>
    </message>
    <message>
        <source>START</source>
        <translation>START</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>STOPP</translation>
    </message>
    <message>
        <source>Ask the daemon to start recording; enabled while it is not recording</source>
        <translation>Den Daemon bitten, die Aufnahme zu starten; aktiv, solange er nicht aufnimmt</translation>
    </message>
    <message>
        <source>Ask the daemon to stop recording; enabled while it records</source>
        <translation>Den Daemon bitten, die Aufnahme zu beenden; aktiv, solange er aufnimmt</translation>
    </message>
</context>
<context>
    <name>ZARNRoutePainter</name>
    <message>
        <source>main output channel %1</source>
        <translation>Hauptausgangskanal %1</translation>
    </message>
    <message>
        <source>main input channel %1</source>
        <translation>Haupteingangskanal %1</translation>
    </message>
    <message>
        <source>%1 (no such channel)</source>
        <translation>%1 (kein solcher Kanal)</translation>
    </message>
    <message>
        <source>%1 channel %2</source>
        <translation>%1 Kanal %2</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot;</source>
        <translation>%1 „%2“</translation>
    </message>
</context>
<context>
    <name>ZARNSetupPanel</name>
    <message>
        <source>Setup</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Save setup...</source>
        <translation>Einstellungen speichern...</translation>
    </message>
    <message>
        <source>Write the daemon&apos;s whole setup to a file (Ctrl+S)</source>
        <translation>Alle Einstellungen des Daemons in eine Datei schreiben (Strg+S)</translation>
    </message>
    <message>
        <source>Load setup...</source>
        <translation>Einstellungen laden...</translation>
    </message>
    <message>
        <source>Check a setup file, show what it would change, and send it once confirmed (Ctrl+O)</source>
        <translation>Eine Einstellungsdatei prüfen, zeigen, was sie ändern würde, und sie nach Bestätigung senden (Strg+O)</translation>
    </message>
    <message>
        <source>Save setup</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Load setup</source>
        <translation>Einstellungen laden</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>Nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Gespeichert in %1</translation>
    </message>
    <message>
        <source>Reading %1</source>
        <translation>%1 wird gelesen</translation>
    </message>
    <message>
        <source>Not loaded: %1: %2; nothing sent</source>
        <translation>Nicht geladen: %1: %2; nichts gesendet</translation>
    </message>
    <message>
        <source>Not loaded: %1; nothing sent</source>
        <translation>Nicht geladen: %1; nichts gesendet</translation>
    </message>
    <message>
        <source>%1 changes nothing the daemon holds.</source>
        <translation>%1 ändert nichts an dem, was der Daemon hat.</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Not loaded: cancelled; nothing sent</source>
        <translation>Nicht geladen: abgebrochen; nichts gesendet</translation>
    </message>
    <message>
        <source>RX gain</source>
        <translation>RX-Verstärkung</translation>
    </message>
    <message>
        <source>TX gain</source>
        <translation>TX-Verstärkung</translation>
    </message>
    <message>
        <source>gain</source>
        <translation>Verstärkung</translation>
    </message>
    <message>
        <source>source channel</source>
        <translation>Quellkanal</translation>
    </message>
    <message>
        <source>destination channel</source>
        <translation>Zielkanal</translation>
    </message>
    <message>
        <source>RX mute</source>
        <translation>RX stumm</translation>
    </message>
    <message>
        <source>TX mute</source>
        <translation>TX stumm</translation>
    </message>
    <message>
        <source>mute</source>
        <translation>stumm</translation>
    </message>
    <message>
        <source>RX polarity</source>
        <translation>RX-Polarität</translation>
    </message>
    <message>
        <source>TX polarity</source>
        <translation>TX-Polarität</translation>
    </message>
    <message>
        <source>polarity</source>
        <translation>Polarität</translation>
    </message>
    <message>
        <source>delay</source>
        <translation>Verzögerung</translation>
    </message>
    <message>
        <source>compressor enabled</source>
        <translation>Kompressor aktiv</translation>
    </message>
    <message>
        <source>compressor knee</source>
        <translation>Kompressor-Knie</translation>
    </message>
    <message>
        <source>compressor attack</source>
        <translation>Kompressor-Ansprechzeit</translation>
    </message>
    <message>
        <source>compressor decay</source>
        <translation>Kompressor-Rücklaufzeit</translation>
    </message>
    <message>
        <source>RX equalizer</source>
        <translation>RX-Equalizer</translation>
    </message>
    <message>
        <source>TX equalizer</source>
        <translation>TX-Equalizer</translation>
    </message>
    <message>
        <source>%1: other coefficients (%2 taps)</source>
        <translation>%1: andere Koeffizienten (%2 Taps)</translation>
    </message>
    <message>
        <source>on (%1 taps)</source>
        <translation>an (%1 Taps)</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>%1: %2 → %3</source>
        <translation>%1: %2 → %3</translation>
    </message>
    <message>
        <source>on</source>
        <translation>an</translation>
    </message>
    <message>
        <source>%1, delay: not loaded, %2 is beyond the daemon&apos;s limit %3</source>
        <translation>%1, Verzögerung: nicht geladen, %2 liegt über der Grenze %3 des Daemons</translation>
    </message>
    <message>
        <source>%1, %2: not loaded, it takes %3 taps here, %4 in the file</source>
        <translation>%1, %2: nicht geladen, hier %3 Taps, in der Datei %4</translation>
    </message>
    <message>
        <source>The daemon came back with another setup than %1</source>
        <translation>Der Daemon ist mit einem anderen Setup als %1 zurück</translation>
    </message>
    <message>
        <source>Load the last setup again</source>
        <translation>Letztes Setup wieder laden</translation>
    </message>
    <message>
        <source>Warning: </source>
        <translation>Warnung: </translation>
    </message>
    <message>
        <source>Skipped: </source>
        <translation>Übersprungen: </translation>
    </message>
    <message>
        <source>%1 will write:</source>
        <translation>%1 schreibt:</translation>
    </message>
    <message>
        <source>Loaded %1, values written: %2</source>
        <translation>%1 geladen, geschriebene Werte: %2</translation>
    </message>
</context>
<context>
    <name>ZARNSpinBoxGuard</name>
    <message>
        <source>From %1 to %2%3.</source>
        <translation>Von %1 bis %2%3.</translation>
    </message>
    <message>
        <source>Type a number and press Return; the wheel turns the box only while it has the keyboard focus.</source>
        <translation>Eine Zahl eingeben und die Eingabetaste drücken; das Mausrad dreht das Feld nur, solange es den Tastaturfokus hat.</translation>
    </message>
</context>
<context>
    <name>ZARNStatusLine</name>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>ZARNTray</name>
    <message>
        <source>%1, channels linked</source>
        <translation>%1, Kanäle gekoppelt</translation>
    </message>
    <message>
        <source>Not connected to %1</source>
        <translation>Keine Verbindung zu %1</translation>
    </message>
    <message>
        <source>The chosen control is not there</source>
        <translation>Das gewählte Stellglied ist nicht vorhanden</translation>
    </message>
    <message>
        <source>Gain %1 of %2 to %3</source>
        <translation>Verstärkung %1 von %2 bis %3</translation>
    </message>
    <message>
        <source>Muted</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>No control chosen</source>
        <translation>Kein Stellglied gewählt</translation>
    </message>
    <message>
        <source>Control: %1</source>
        <translation>Stellglied: %1</translation>
    </message>
    <message>
        <source>Receive (RX)</source>
        <translation>Empfang (RX)</translation>
    </message>
    <message>
        <source>Transmit (TX)</source>
        <translation>Senden (TX)</translation>
    </message>
    <message>
        <source>Load recent setup</source>
        <translation>Zuletzt verwendete Einstellungen laden</translation>
    </message>
    <message>
        <source>Keep running in the tray when the window is closed</source>
        <translation>Beim Schließen des Fensters im Infobereich weiterlaufen</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>ZARNVolumeBar</name>
    <message>
        <source>%1%2 dBFS, peak %3 dBFS</source>
        <translation>%1%2 dBFS, Spitze %3 dBFS</translation>
    </message>
</context>
</TS>
