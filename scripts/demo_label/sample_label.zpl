^XA
^CI28
^FO40,40^A0N,50,50^FDCorvella demo label^FS
^FO40,110^A0N,30,30^FDShip to: Jana Novák, Kärntner Straße 1, Wien^FS
^FO40,160^BY3^BCN,100,Y,N,N^FD1234567890^FS
^XZ
