<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>QGroupBox</name>
    <message>
        <source>COPY</source>
        <translation>COPIER</translation>
    </message>
    <message>
        <source>PASTE</source>
        <translation>COLLER</translation>
    </message>
    <message>
        <source>Mark this window as the one to paste from; its text and state are taken when PASTE is pressed</source>
        <translation>Marquer cette fenêtre comme source du collage ; son texte et son état sont repris quand on appuie sur COLLER</translation>
    </message>
    <message>
        <source>Take the text and the ON/OFF state of the window where COPY was pressed last; a changed state is applied at once</source>
        <translation>Reprendre le texte et l&apos;état ON/OFF de la fenêtre où COPIER a été pressé en dernier ; un état modifié est appliqué aussitôt</translation>
    </message>
    <message>
        <source>Filter specification</source>
        <translation>Description du filtre</translation>
    </message>
    <message>
        <source>An optional first line &quot;normalize&quot; keeps the gain at or below 1 at every frequency.
Then points, each a frequency in Hz and an amplitude on one line: 1 passes, 0 removes, and the amplitude runs in a straight line from point to point. Frequencies must not fall.

Example, a low-pass from 150 Hz to 1000 Hz:
normalize
150 1
1000 0</source>
        <translation>Une première ligne facultative &quot;normalize&quot; maintient le gain à 1 au plus à toutes les fréquences.
Ensuite des points, chacun une fréquence en Hz et une amplitude sur une ligne : 1 laisse passer, 0 supprime, et l&apos;amplitude varie en ligne droite d&apos;un point à l&apos;autre. Les fréquences ne doivent pas décroître.

Exemple, un passe-bas de 150 Hz à 1000 Hz :
normalize
150 1
1000 0</translation>
    </message>
    <message>
        <source>Filter specification: an optional &quot;normalize&quot; line, then points of a frequency in Hz and a linear amplitude</source>
        <translation>Description du filtre : une ligne &quot;normalize&quot; facultative, puis des points formés d&apos;une fréquence en Hz et d&apos;une amplitude linéaire</translation>
    </message>
    <message>
        <source>Apply filter</source>
        <translation>Appliquer le filtre</translation>
    </message>
    <message>
        <source>System information</source>
        <translation>Informations système</translation>
    </message>
    <message>
        <source>The daemon&apos;s sample rate, sample width and number of channels, and its input and output devices; read at start and after each accepted Add Options request</source>
        <translation>Fréquence d&apos;échantillonnage, taille d&apos;échantillon et nombre de canaux du démon, ainsi que ses périphériques d&apos;entrée et de sortie ; lus au démarrage et après chaque requête « Ajouter des options » acceptée</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>Importer…</translation>
    </message>
    <message>
        <source>Replace the text with a GraphicEQ line or a parametric EQ file (Preamp and Filter lines) at the daemon&apos;s sample rate; Apply filter sends it</source>
        <translation>Remplacer le texte par une ligne GraphicEQ ou un fichier d&apos;égaliseur paramétrique (lignes Preamp et Filter) à la fréquence d&apos;échantillonnage du démon ; « Apply filter » l&apos;envoie</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exporter…</translation>
    </message>
    <message>
        <source>Save the text last applied in this window, or the response of the filter in force as a GraphicEQ line</source>
        <translation>Enregistrer le dernier texte appliqué dans cette fenêtre, ou la réponse du filtre en vigueur sous forme de ligne GraphicEQ</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>ligne %1 : %2</translation>
    </message>
    <message>
        <source>No filter with a finite response is in force.</source>
        <translation>Aucun filtre à réponse finie n&apos;est en vigueur.</translation>
    </message>
    <message>
        <source>No filter text was applied in this window.</source>
        <translation>Aucun texte de filtre n&apos;a été appliqué dans cette fenêtre.</translation>
    </message>
    <message>
        <source>Import filter</source>
        <translation>Importer un filtre</translation>
    </message>
    <message>
        <source>Filter files (*.txt);;All files (*)</source>
        <translation>Fichiers de filtre (*.txt);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>Cannot import %1</source>
        <translation>Impossible d&apos;importer %1</translation>
    </message>
    <message>
        <source>GraphicEQ (*.txt)</source>
        <translation>GraphicEQ (*.txt)</translation>
    </message>
    <message>
        <source>Export filter</source>
        <translation>Exporter le filtre</translation>
    </message>
    <message>
        <source>Filter text (*.txt)</source>
        <translation>Texte de filtre (*.txt)</translation>
    </message>
    <message>
        <source>Cannot export %1</source>
        <translation>Impossible d&apos;exporter %1</translation>
    </message>
    <message>
        <source>Design the filter from the text and send it to the daemon; while the state is OFF, this switches it ON</source>
        <translation>Concevoir le filtre à partir du texte et l’envoyer au démon ; à l’état OFF, cela passe à ON</translation>
    </message>
    <message>
        <source>Imported filters</source>
        <translation>Filtres importés</translation>
    </message>
    <message>
        <source>Preamp </source>
        <translation>Préampli </translation>
    </message>
    <message>
        <source>The file&apos;s preamp, added to every gain</source>
        <translation>Le préampli du fichier, ajouté à chaque gain</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Fc (Hz)</source>
        <translation>Fc (Hz)</translation>
    </message>
    <message>
        <source>Gain (dB)</source>
        <translation>Gain (dB)</translation>
    </message>
    <message>
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message>
        <source>The imported file&apos;s filters: change a frequency, gain or Q and the filter text is made again; Apply filter sends it</source>
        <translation>Les filtres du fichier importé : changer une fréquence, un gain ou un Q refait le texte du filtre ; « Appliquer le filtre » l’envoie</translation>
    </message>
    <message>
        <source>Select every filter</source>
        <translation>Sélectionner tous les filtres</translation>
    </message>
</context>
<context>
    <name>ZARNAddOptions</name>
    <message>
        <source>Add Options</source>
        <translation>Ajouter des options</translation>
    </message>
    <message>
        <source>ADD</source>
        <translation>AJOUTER</translation>
    </message>
    <message>
        <source>Send the options to the daemon</source>
        <translation>Envoyer les options au démon</translation>
    </message>
    <message>
        <source>Options to add</source>
        <translation>Options à ajouter</translation>
    </message>
    <message>
        <source>Options for the running daemon, in its own syntax; Return or ADD sends them (Latin-1, at most 1023 bytes). Accepted options clear the field; the daemon&apos;s answer to others shows below it</source>
        <translation>Options pour le démon en cours d&apos;exécution, dans sa propre syntaxe ; Entrée ou AJOUTER les envoie (Latin-1, 1023 octets au plus). Les options acceptées vident le champ ; la réponse du démon aux autres s&apos;affiche en dessous</translation>
    </message>
</context>
<context>
    <name>ZARNAudioDelayLocator</name>
    <message>
        <source>Audio Delay Locator</source>
        <translation>Mesure de latence</translation>
    </message>
    <message>
        <source>ON/OFF</source>
        <translation>MARCHE/ARRÊT</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Réinitialiser</translation>
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
        <translation>Entrée </translation>
    </message>
    <message>
        <source>OutCh </source>
        <translation>Sortie </translation>
    </message>
    <message>
        <source>Switch the delay locator on or off: it sends a test signal on the output channel and measures how late it comes back on the input channel</source>
        <translation>Activer ou désactiver la mesure de latence : elle envoie un signal de test sur le canal de sortie et mesure son retard à son retour sur le canal d&apos;entrée</translation>
    </message>
    <message>
        <source>Start the measurement afresh</source>
        <translation>Recommencer la mesure</translation>
    </message>
    <message>
        <source>Raise the test signal&apos;s output level by one step</source>
        <translation>Augmenter d&apos;un pas le niveau de sortie du signal de test</translation>
    </message>
    <message>
        <source>Lower the test signal&apos;s output level by one step</source>
        <translation>Diminuer d&apos;un pas le niveau de sortie du signal de test</translation>
    </message>
    <message>
        <source>Input channel on which the test signal is measured.</source>
        <translation>Canal d&apos;entrée sur lequel le signal de test est mesuré.</translation>
    </message>
    <message>
        <source>Output channel on which the test signal is sent.</source>
        <translation>Canal de sortie sur lequel le signal de test est envoyé.</translation>
    </message>
    <message>
        <source>The locator&apos;s state, the test signal&apos;s level and the delay measured, in samples and in milliseconds; read every 100 ms</source>
        <translation>L&apos;état de la mesure, le niveau du signal de test et la latence mesurée, en échantillons et en millisecondes ; lus toutes les 100 ms</translation>
    </message>
    <message>
        <source>Delay locator input channel</source>
        <translation>Canal d&apos;entrée du localisateur de retard</translation>
    </message>
    <message>
        <source>Delay locator output channel</source>
        <translation>Canal de sortie du localisateur de retard</translation>
    </message>
</context>
<context>
    <name>ZARNCompressor</name>
    <message>
        <source>Zarnmix Compressor for %1</source>
        <translation>Compresseur Zarnmix pour %1</translation>
    </message>
    <message>
        <source>COPY</source>
        <translation>COPIER</translation>
    </message>
    <message>
        <source>PASTE</source>
        <translation>COLLER</translation>
    </message>
    <message>
        <source>Current gain</source>
        <translation>Gain actuel</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Activé</translation>
    </message>
    <message>
        <source>Knee</source>
        <translation>Coude</translation>
    </message>
    <message>
        <source>Attack</source>
        <translation>Attaque</translation>
    </message>
    <message>
        <source>Decay</source>
        <translation>Relâchement</translation>
    </message>
    <message>
        <source>The gain the compressor applies now, as a factor: 1 leaves the level as it is, 0.5 halves it; read every 100 ms</source>
        <translation>Le gain que le compresseur applique en ce moment, sous forme de facteur : 1 laisse le niveau inchangé, 0.5 le réduit de moitié ; lu toutes les 100 ms</translation>
    </message>
    <message>
        <source>1 switches the compressor on, 0 off.</source>
        <translation>1 active le compresseur, 0 le désactive.</translation>
    </message>
    <message>
        <source>Knee, in the daemon&apos;s units: where on the level scale the compressor starts to reduce the gain.</source>
        <translation>Coude, dans les unités du démon : l&apos;endroit de l&apos;échelle de niveau où le compresseur commence à réduire le gain.</translation>
    </message>
    <message>
        <source>Attack, in the daemon&apos;s units: how fast the gain falls when the level rises.</source>
        <translation>Attaque, dans les unités du démon : la vitesse à laquelle le gain baisse quand le niveau monte.</translation>
    </message>
    <message>
        <source>Decay, in the daemon&apos;s units: how fast the gain recovers when the level falls.</source>
        <translation>Relâchement, dans les unités du démon : la vitesse à laquelle le gain remonte quand le niveau baisse.</translation>
    </message>
    <message>
        <source>Mark this window as the one to paste from; its four settings are taken when PASTE is pressed</source>
        <translation>Marquer cette fenêtre comme source du collage ; ses quatre réglages sont repris quand on appuie sur COLLER</translation>
    </message>
    <message>
        <source>Take the four settings of the compressor window where COPY was pressed last, and send them</source>
        <translation>Reprendre les quatre réglages de la fenêtre de compresseur où COPIER a été pressé en dernier, et les envoyer</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Copy compressor settings</source>
        <translation>Copier les réglages du compresseur</translation>
    </message>
    <message>
        <source>Paste compressor settings</source>
        <translation>Coller les réglages du compresseur</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Activé</translation>
    </message>
    <message>
        <source>0 to %1</source>
        <translation>0 à %1</translation>
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
        <translation>Active ou désactive le compresseur</translation>
    </message>
    <message>
        <source>The current gain as a level in dB; 0 dB leaves the level as it is</source>
        <translation>Le gain actuel en niveau dB ; 0 dB laisse le niveau tel quel</translation>
    </message>
    <message>
        <source>How far the compressor reduces the level now, up to 24 dB</source>
        <translation>De combien le compresseur réduit le niveau en ce moment, jusqu’à 24 dB</translation>
    </message>
</context>
<context>
    <name>ZARNConnect</name>
    <message>
        <source>Main Device Input</source>
        <translation>Entrée du périphérique principal</translation>
    </message>
    <message>
        <source>Main Device Output</source>
        <translation>Sortie du périphérique principal</translation>
    </message>
    <message>
        <source> - input</source>
        <translation> - entrée</translation>
    </message>
    <message>
        <source> - output</source>
        <translation> - sortie</translation>
    </message>
    <message>
        <source>Connection diagram</source>
        <translation>Schéma des connexions</translation>
    </message>
    <message>
        <source>%1: from channel %2 to channel %3</source>
        <translation>%1 : du canal %2 au canal %3</translation>
    </message>
    <message>
        <source>main output</source>
        <translation>sortie principale</translation>
    </message>
    <message>
        <source>main input</source>
        <translation>entrée principale</translation>
    </message>
    <message>
        <source>%1 Channels 0 to %2 lead to a %3 channel.</source>
        <translation>%1 Les canaux 0 à %2 mènent à un canal (%3).</translation>
    </message>
    <message>
        <source>%1 There is no %2 channel.</source>
        <translation>%1 Il n&apos;y a aucun canal (%2).</translation>
    </message>
    <message>
        <source> (none)</source>
        <translation> (aucun)</translation>
    </message>
</context>
<context>
    <name>ZARNController</name>
    <message>
        <source>SrcCh </source>
        <translation>Source </translation>
    </message>
    <message>
        <source>DstCh </source>
        <translation>Cible </translation>
    </message>
    <message>
        <source>Compressor</source>
        <translation>Compresseur</translation>
    </message>
    <message>
        <source>receive (RX)</source>
        <translation>réception (RX)</translation>
    </message>
    <message>
        <source>monitor</source>
        <translation>écoute</translation>
    </message>
    <message>
        <source>transmit (TX)</source>
        <translation>émission (TX)</translation>
    </message>
    <message>
        <source>Gain of the %1 direction in the daemon&apos;s steps, from %2 to %3</source>
        <translation>Gain du sens %1 en pas du démon, de %2 à %3</translation>
    </message>
    <message>
        <source>Mute the %1 direction</source>
        <translation>Couper le son du sens %1</translation>
    </message>
    <message>
        <source>Invert the polarity of the %1 direction</source>
        <translation>Inverser la polarité du sens %1</translation>
    </message>
    <message>
        <source>Raise the %1 gain by one step, up to %2</source>
        <translation>Augmenter d&apos;un pas le gain du sens %1, jusqu&apos;à %2</translation>
    </message>
    <message>
        <source>Lower the %1 gain by one step, down to %2</source>
        <translation>Diminuer d&apos;un pas le gain du sens %1, jusqu&apos;à %2</translation>
    </message>
    <message>
        <source>the main input channel routed to this channel</source>
        <translation>le canal d&apos;entrée principal dirigé vers ce canal</translation>
    </message>
    <message>
        <source>the main output channel this channel feeds</source>
        <translation>le canal de sortie principal que ce canal alimente</translation>
    </message>
    <message>
        <source>the main output channel this loopback channel records</source>
        <translation>le canal de sortie principal que ce canal de bouclage enregistre</translation>
    </message>
    <message>
        <source>the destination channel of this loopback channel</source>
        <translation>le canal de destination de ce canal de bouclage</translation>
    </message>
    <message>
        <source>the main input channel monitored</source>
        <translation>le canal d&apos;entrée principal écouté</translation>
    </message>
    <message>
        <source>the main output channel it is heard on</source>
        <translation>le canal de sortie principal sur lequel on l&apos;entend</translation>
    </message>
    <message>
        <source>the main output channel monitored</source>
        <translation>le canal de sortie principal écouté</translation>
    </message>
    <message>
        <source>the main output channel it is copied to</source>
        <translation>le canal de sortie principal sur lequel il est copié</translation>
    </message>
    <message>
        <source>the channel monitored</source>
        <translation>le canal écouté</translation>
    </message>
    <message>
        <source>the channel it is heard on</source>
        <translation>le canal sur lequel on l&apos;entend</translation>
    </message>
    <message>
        <source>Source channel: %1.</source>
        <translation>Canal source : %1.</translation>
    </message>
    <message>
        <source>Destination channel: %1.</source>
        <translation>Canal de destination : %1.</translation>
    </message>
    <message>
        <source>Open the equalizer of the receive (RX) direction; greyed when the daemon has no filter for it</source>
        <translation>Ouvrir l&apos;égaliseur du sens réception (RX) ; grisé quand le démon n&apos;a pas de filtre pour lui</translation>
    </message>
    <message>
        <source>Open the equalizer of the transmit (TX) direction; greyed when the daemon has no filter for it</source>
        <translation>Ouvrir l&apos;égaliseur du sens émission (TX) ; grisé quand le démon n&apos;a pas de filtre pour lui</translation>
    </message>
    <message>
        <source>Delay of this channel in samples, up to the largest the daemon accepts.</source>
        <translation>Retard de ce canal en échantillons, jusqu&apos;au plus grand que le démon accepte.</translation>
    </message>
    <message>
        <source>Open the compressor window of the main output</source>
        <translation>Ouvrir la fenêtre du compresseur de la sortie principale</translation>
    </message>
    <message>
        <source>Open the compressor window of this device or loopback, shared by its channels</source>
        <translation>Ouvrir la fenêtre du compresseur de ce périphérique ou de ce bouclage, partagée par ses canaux</translation>
    </message>
    <message>
        <source>Peak level: receive (RX) above, transmit (TX) below; full width is full scale, each mark an eighth of it</source>
        <translation>Niveau crête : réception (RX) en haut, émission (TX) en bas ; toute la largeur correspond à la pleine échelle, chaque repère à un huitième</translation>
    </message>
    <message>
        <source>Peak level: full width is full scale, each mark an eighth of it</source>
        <translation>Niveau crête : toute la largeur correspond à la pleine échelle, chaque repère à un huitième</translation>
    </message>
    <message>
        <source>Channel %1.%2</source>
        <translation>Canal %1.%2</translation>
    </message>
    <message>
        <source>mute</source>
        <translation>muet</translation>
    </message>
    <message>
        <source>polarity</source>
        <translation>polarité</translation>
    </message>
    <message>
        <source>source channel</source>
        <translation>canal source</translation>
    </message>
    <message>
        <source>destination channel</source>
        <translation>canal de destination</translation>
    </message>
    <message>
        <source>gain up</source>
        <translation>gain plus</translation>
    </message>
    <message>
        <source>gain down</source>
        <translation>gain moins</translation>
    </message>
    <message>
        <source>gain</source>
        <translation>gain</translation>
    </message>
    <message>
        <source>equalizer</source>
        <translation>égaliseur</translation>
    </message>
    <message>
        <source>delay</source>
        <translation>retard</translation>
    </message>
    <message>
        <source>compressor</source>
        <translation>compresseur</translation>
    </message>
    <message>
        <source>level meter</source>
        <translation>indicateur de niveau</translation>
    </message>
    <message>
        <source>diagram input</source>
        <translation>entrée du diagramme</translation>
    </message>
    <message>
        <source>diagram output</source>
        <translation>sortie du diagramme</translation>
    </message>
    <message>
        <source>Link channels</source>
        <translation>Lier les canaux</translation>
    </message>
    <message>
        <source>link channels</source>
        <translation>lier les canaux</translation>
    </message>
    <message>
        <source>While ticked, a gain step, a typed gain or a mute on one channel goes to every channel of this device or loopback; polarity, routing and delay stay with each channel</source>
        <translation>Coché, un pas de gain, un gain saisi ou une coupure du son sur un canal s&apos;applique à tous les canaux de ce périphérique ou de cette boucle ; la polarité, le routage et le retard restent propres à chaque canal</translation>
    </message>
</context>
<context>
    <name>ZARNEQButtons</name>
    <message>
        <source>Presets</source>
        <translation>Préréglages</translation>
    </message>
    <message>
        <source>Defa&amp;ults</source>
        <translation>&amp;Par défaut</translation>
    </message>
    <message>
        <source>&amp;LowPass</source>
        <translation>Passe-&amp;bas</translation>
    </message>
    <message>
        <source>&amp;HighPass</source>
        <translation>Passe-&amp;haut</translation>
    </message>
    <message>
        <source>&amp;BandPass</source>
        <translation>Passe-ban&amp;de</translation>
    </message>
    <message>
        <source>Fill the editor with a flat response, amplitude 1 from 20 Hz to 20 kHz: the sound passes unchanged</source>
        <translation>Remplir l&apos;éditeur d&apos;une réponse plate, amplitude 1 de 20 Hz à 20 kHz : le son passe inchangé</translation>
    </message>
    <message>
        <source>Fill the editor with a low-pass: 1 up to 150 Hz, falling to 0 at 1000 Hz</source>
        <translation>Remplir l&apos;éditeur d&apos;un passe-bas : 1 jusqu&apos;à 150 Hz, descendant à 0 à 1000 Hz</translation>
    </message>
    <message>
        <source>Fill the editor with a high-pass: 0 up to 150 Hz, rising to 1 at 1000 Hz</source>
        <translation>Remplir l&apos;éditeur d&apos;un passe-haut : 0 jusqu&apos;à 150 Hz, montant à 1 à 1000 Hz</translation>
    </message>
    <message>
        <source>Fill the editor with a band-pass: 1 from 500 Hz to 1000 Hz, 0 below 250 Hz and from 2000 Hz on</source>
        <translation>Remplir l&apos;éditeur d&apos;un passe-bande : 1 de 500 Hz à 1000 Hz, 0 en dessous de 250 Hz et à partir de 2000 Hz</translation>
    </message>
</context>
<context>
    <name>ZARNEQFreqResponse</name>
    <message>
        <source>%1 Hz: gain %2 (%3 dB)</source>
        <translation>%1 Hz : gain %2 (%3 dB)</translation>
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
        <translation>%1 Hz : %2 dB</translation>
    </message>
    <message>
        <source>No filter in force</source>
        <translation>Aucun filtre en vigueur</translation>
    </message>
</context>
<context>
    <name>ZARNEqualizer</name>
    <message>
        <source>expected two numbers, a frequency in Hz and an amplitude: digits with an optional decimal point, no sign, exponent or comma</source>
        <translation>deux nombres attendus, une fréquence en Hz et une amplitude : des chiffres avec un point décimal facultatif, sans signe, exposant ni virgule</translation>
    </message>
    <message>
        <source>expected two numbers: after the frequency, an amplitude on the same line</source>
        <translation>deux nombres attendus : après la fréquence, une amplitude sur la même ligne</translation>
    </message>
    <message>
        <source>frequency below the previous point</source>
        <translation>fréquence inférieure à celle du point précédent</translation>
    </message>
    <message>
        <source>a number is too large for the filter</source>
        <translation>un nombre est trop grand pour le filtre</translation>
    </message>
    <message>
        <source>no filter can be designed for this channel</source>
        <translation>aucun filtre ne peut être calculé pour ce canal</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>ligne %1 : %2</translation>
    </message>
    <message>
        <source>Switch the filter off: the daemon drops this channel&apos;s filter</source>
        <translation>Désactiver le filtre : le démon abandonne le filtre de ce canal</translation>
    </message>
    <message>
        <source>Switch the filter on: the text below is designed and sent</source>
        <translation>Activer le filtre : le texte ci-dessous est calculé et envoyé</translation>
    </message>
    <message>
        <source>Gain of the filter in force over frequency, linear, from 0 Hz up to 8 kHz, or half the sample rate when that is lower</source>
        <translation>Gain du filtre en vigueur en fonction de la fréquence, linéaire, de 0 Hz à 8 kHz, ou à la moitié de la fréquence d&apos;échantillonnage si elle est plus basse</translation>
    </message>
    <message>
        <source>EQ filter specification is empty</source>
        <translation>La description du filtre EQ est vide</translation>
    </message>
    <message>
        <source>Invalid EQ filter specification</source>
        <translation>Description du filtre EQ invalide</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Filter specification</source>
        <translation>Description du filtre</translation>
    </message>
    <message>
        <source>Gain of the filter in force in dB, from 20 Hz to half the sample rate on a logarithmic axis; the pointer&apos;s frequency and gain show at the top right</source>
        <translation>Gain du filtre en vigueur en dB, de 20 Hz à la moitié de la fréquence d’échantillonnage sur un axe logarithmique ; la fréquence et le gain sous le pointeur s’affichent en haut à droite</translation>
    </message>
</context>
<context>
    <name>ZARNFold</name>
    <message>
        <source>Fold or unfold this panel</source>
        <translation>Replier ou déplier ce panneau</translation>
    </message>
</context>
<context>
    <name>ZARNGainLabel</name>
    <message>
        <source>Type a gain...</source>
        <translation>Saisir un gain...</translation>
    </message>
    <message>
        <source>Reset to 0</source>
        <translation>Remettre à 0</translation>
    </message>
    <message>
        <source>Double-click to type a gain from %1 to %2; the context menu resets it to 0.</source>
        <translation>Double-cliquer pour saisir un gain de %1 à %2 ; le menu contextuel le remet à 0.</translation>
    </message>
</context>
<context>
    <name>ZARNMainWindow</name>
    <message>
        <source>Try now</source>
        <translation>Réessayer maintenant</translation>
    </message>
    <message>
        <source>Look for the daemon, or for its targets, at once</source>
        <translation>Rechercher immédiatement le démon ou ses cibles</translation>
    </message>
    <message>
        <source>Look for targets again</source>
        <translation>Rechercher à nouveau les cibles</translation>
    </message>
    <message>
        <source>Not connected to %1, trying again</source>
        <translation>Non connecté à %1, nouvelle tentative</translation>
    </message>
    <message>
        <source>Waiting for the mixer daemon at %1</source>
        <translation>En attente du démon de mixage sur %1</translation>
    </message>
    <message>
        <source>The daemon is not answering, next try in %1 s</source>
        <translation>Le démon ne répond pas, prochain essai dans %1 s</translation>
    </message>
    <message>
        <source>The daemon is not answering, trying again</source>
        <translation>Le démon ne répond pas, nouvelle tentative</translation>
    </message>
    <message>
        <source>No control targets found on %1</source>
        <translation>Aucune cible de contrôle trouvée sur %1</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Save setup...</source>
        <translation>Enregistrer la configuration...</translation>
    </message>
    <message>
        <source>Load setup...</source>
        <translation>Charger une configuration...</translation>
    </message>
    <message>
        <source>device channels</source>
        <translation>canaux de périphérique</translation>
    </message>
    <message>
        <source>loopback channels</source>
        <translation>canaux de boucle</translation>
    </message>
    <message>
        <source>input monitors</source>
        <translation>moniteurs d&apos;entrée</translation>
    </message>
    <message>
        <source>output monitors</source>
        <translation>moniteurs de sortie</translation>
    </message>
    <message>
        <source>local monitors</source>
        <translation>moniteurs locaux</translation>
    </message>
    <message>
        <source>main output channels</source>
        <translation>canaux de sortie principale</translation>
    </message>
    <message>
        <source>main input channels</source>
        <translation>canaux d&apos;entrée principale</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Showing %1 of %2 targets</source>
        <translation>%1 cibles affichées sur %2</translation>
    </message>
    <message>
        <source>Left out: %1</source>
        <translation>Omis : %1</translation>
    </message>
    <message>
        <source>Show the strips whose title holds...</source>
        <translation>Montrer les bandes dont le titre contient...</translation>
    </message>
    <message>
        <source>Escape shows every strip again</source>
        <translation>Échap montre à nouveau toutes les bandes</translation>
    </message>
    <message>
        <source>Find strips</source>
        <translation>Chercher des bandes</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Connecté à %1</translation>
    </message>
</context>
<context>
    <name>ZARNRecordStatus</name>
    <message>
        <source>Recording status</source>
        <translation>État de l&apos;enregistrement</translation>
    </message>
    <message>
        <source>START</source>
        <translation>DÉMARRER</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>ARRÊTER</translation>
    </message>
    <message>
        <source>Ask the daemon to start recording; enabled while it is not recording</source>
        <translation>Demander au démon de démarrer l&apos;enregistrement ; disponible tant qu&apos;il n&apos;enregistre pas</translation>
    </message>
    <message>
        <source>Ask the daemon to stop recording; enabled while it records</source>
        <translation>Demander au démon d&apos;arrêter l&apos;enregistrement ; disponible pendant qu&apos;il enregistre</translation>
    </message>
</context>
<context>
    <name>ZARNRoutePainter</name>
    <message>
        <source>main output channel %1</source>
        <translation>canal de sortie principal %1</translation>
    </message>
    <message>
        <source>main input channel %1</source>
        <translation>canal d&apos;entrée principal %1</translation>
    </message>
    <message>
        <source>%1 (no such channel)</source>
        <translation>%1 (canal inexistant)</translation>
    </message>
    <message>
        <source>%1 channel %2</source>
        <translation>%1 canal %2</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot;</source>
        <translation>%1 « %2 »</translation>
    </message>
</context>
<context>
    <name>ZARNSetupPanel</name>
    <message>
        <source>Setup</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>Save setup...</source>
        <translation>Enregistrer la configuration...</translation>
    </message>
    <message>
        <source>Write the daemon&apos;s whole setup to a file (Ctrl+S)</source>
        <translation>Écrire toute la configuration du démon dans un fichier (Ctrl+S)</translation>
    </message>
    <message>
        <source>Load setup...</source>
        <translation>Charger une configuration...</translation>
    </message>
    <message>
        <source>Check a setup file, show what it would change, and send it once confirmed (Ctrl+O)</source>
        <translation>Vérifier un fichier de configuration, montrer ce qu&apos;il changerait et l&apos;envoyer une fois confirmé (Ctrl+O)</translation>
    </message>
    <message>
        <source>Save setup</source>
        <translation>Enregistrer la configuration</translation>
    </message>
    <message>
        <source>Load setup</source>
        <translation>Charger une configuration</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>Non enregistré : %1</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Enregistré dans %1</translation>
    </message>
    <message>
        <source>Reading %1</source>
        <translation>Lecture de %1</translation>
    </message>
    <message>
        <source>Not loaded: %1: %2; nothing sent</source>
        <translation>Non chargé : %1 : %2 ; rien n&apos;a été envoyé</translation>
    </message>
    <message>
        <source>Not loaded: %1; nothing sent</source>
        <translation>Non chargé : %1 ; rien n&apos;a été envoyé</translation>
    </message>
    <message>
        <source>%1 changes nothing the daemon holds.</source>
        <translation>%1 ne change rien à ce que le démon contient.</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Charger</translation>
    </message>
    <message>
        <source>Not loaded: cancelled; nothing sent</source>
        <translation>Non chargé : annulé ; rien n&apos;a été envoyé</translation>
    </message>
    <message>
        <source>RX gain</source>
        <translation>gain RX</translation>
    </message>
    <message>
        <source>TX gain</source>
        <translation>gain TX</translation>
    </message>
    <message>
        <source>gain</source>
        <translation>gain</translation>
    </message>
    <message>
        <source>source channel</source>
        <translation>canal source</translation>
    </message>
    <message>
        <source>destination channel</source>
        <translation>canal de destination</translation>
    </message>
    <message>
        <source>RX mute</source>
        <translation>RX muet</translation>
    </message>
    <message>
        <source>TX mute</source>
        <translation>TX muet</translation>
    </message>
    <message>
        <source>mute</source>
        <translation>muet</translation>
    </message>
    <message>
        <source>RX polarity</source>
        <translation>polarité RX</translation>
    </message>
    <message>
        <source>TX polarity</source>
        <translation>polarité TX</translation>
    </message>
    <message>
        <source>polarity</source>
        <translation>polarité</translation>
    </message>
    <message>
        <source>delay</source>
        <translation>retard</translation>
    </message>
    <message>
        <source>compressor enabled</source>
        <translation>compresseur activé</translation>
    </message>
    <message>
        <source>compressor knee</source>
        <translation>coude du compresseur</translation>
    </message>
    <message>
        <source>compressor attack</source>
        <translation>attaque du compresseur</translation>
    </message>
    <message>
        <source>compressor decay</source>
        <translation>relâchement du compresseur</translation>
    </message>
    <message>
        <source>RX equalizer</source>
        <translation>égaliseur RX</translation>
    </message>
    <message>
        <source>TX equalizer</source>
        <translation>égaliseur TX</translation>
    </message>
    <message>
        <source>%1: other coefficients (%2 taps)</source>
        <translation>%1 : autres coefficients (%2 prises)</translation>
    </message>
    <message>
        <source>on (%1 taps)</source>
        <translation>actif (%1 prises)</translation>
    </message>
    <message>
        <source>off</source>
        <translation>inactif</translation>
    </message>
    <message>
        <source>%1: %2 → %3</source>
        <translation>%1 : %2 → %3</translation>
    </message>
    <message>
        <source>on</source>
        <translation>actif</translation>
    </message>
    <message>
        <source>%1, delay: not loaded, %2 is beyond the daemon&apos;s limit %3</source>
        <translation>%1, retard : non chargé, %2 dépasse la limite %3 du démon</translation>
    </message>
    <message>
        <source>%1, %2: not loaded, it takes %3 taps here, %4 in the file</source>
        <translation>%1, %2 : non chargé, %3 prises ici, %4 dans le fichier</translation>
    </message>
    <message>
        <source>The daemon came back with another setup than %1</source>
        <translation>Le démon est revenu avec une autre configuration que %1</translation>
    </message>
    <message>
        <source>Load the last setup again</source>
        <translation>Recharger la dernière configuration</translation>
    </message>
    <message>
        <source>Warning: </source>
        <translation>Avertissement : </translation>
    </message>
    <message>
        <source>Skipped: </source>
        <translation>Ignoré : </translation>
    </message>
    <message>
        <source>%1 will write:</source>
        <translation>%1 écrira :</translation>
    </message>
    <message>
        <source>Loaded %1, values written: %2</source>
        <translation>%1 chargé, valeurs écrites : %2</translation>
    </message>
</context>
<context>
    <name>ZARNSpinBoxGuard</name>
    <message>
        <source>From %1 to %2%3.</source>
        <translation>De %1 à %2%3.</translation>
    </message>
    <message>
        <source>Type a number and press Return; the wheel turns the box only while it has the keyboard focus.</source>
        <translation>Saisir un nombre et appuyer sur Entrée ; la molette ne fait tourner la case que lorsqu&apos;elle a le focus du clavier.</translation>
    </message>
</context>
<context>
    <name>ZARNStatusLine</name>
    <message>
        <source>Dismiss</source>
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>ZARNTray</name>
    <message>
        <source>%1, channels linked</source>
        <translation>%1, canaux liés</translation>
    </message>
    <message>
        <source>Not connected to %1</source>
        <translation>Non connecté à %1</translation>
    </message>
    <message>
        <source>The chosen control is not there</source>
        <translation>La commande choisie est absente</translation>
    </message>
    <message>
        <source>Gain %1 of %2 to %3</source>
        <translation>Gain %1 sur %2 à %3</translation>
    </message>
    <message>
        <source>Muted</source>
        <translation>Muet</translation>
    </message>
    <message>
        <source>No control chosen</source>
        <translation>Aucune commande choisie</translation>
    </message>
    <message>
        <source>Control: %1</source>
        <translation>Commande : %1</translation>
    </message>
    <message>
        <source>Receive (RX)</source>
        <translation>Réception (RX)</translation>
    </message>
    <message>
        <source>Transmit (TX)</source>
        <translation>Émission (TX)</translation>
    </message>
    <message>
        <source>Load recent setup</source>
        <translation>Charger une configuration récente</translation>
    </message>
    <message>
        <source>Keep running in the tray when the window is closed</source>
        <translation>Continuer dans la zone de notification quand la fenêtre est fermée</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Afficher</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>ZARNVolumeBar</name>
    <message>
        <source>%1%2 dBFS, peak %3 dBFS</source>
        <translation>%1%2 dBFS, crête %3 dBFS</translation>
    </message>
</context>
</TS>
