' Una VERIFICA contra el servidor averiado que la prueba pone en el puerto del componente de
' prueba: dice cuánto tardó y si el resultado es el esperado.
'     cscript //nologo averia.vbs <fichero de firma> <destino> [<resultado esperado>]
' Sin resultado esperado, el mensaje 17. Imprime «DURACION <ms>» y, si el resultado es el
' esperado, «AVERIA CORRECTA» (los intérpretes de Wine salen con 0 aunque el script falle).
Option Explicit
Dim ctl, esperado, inicio, r, duracion

esperado = "17 No se ha podido establecer conexi" & Chr(243) & _
    "n https con el servidor de la ZELK para verificar la firma."
If WScript.Arguments.Count > 2 Then esperado = WScript.Arguments(2)

Set ctl = CreateObject("MORVELIN.MorvelinCtl")
inicio = Timer
r = ctl.VERIFICA(WScript.Arguments(0), WScript.Arguments(1))
duracion = Timer - inicio
If duracion < 0 Then duracion = duracion + 86400 ' pasó la medianoche
WScript.Echo "DURACION " & CLng(duracion * 1000)
If r = esperado Then
    WScript.Echo "AVERIA CORRECTA"
Else
    WScript.Echo "FALLO: [" & r & "] en vez de [" & esperado & "]"
End If
