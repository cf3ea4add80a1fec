' VERIFICA de verdad desde VBScript, contra el servicio de verificación local (el componente
' compilado con su dirección), con su autoridad entre las raíces de confianza del prefijo.
'     cscript //nologo verifica.vbs <carpeta de trabajo> [sin-autoridad]
' Con «sin-autoridad», antes de poner la autoridad del servicio entre las raíces: la conexión
' no se acepta y todo VERIFICA contesta 17.
' El éxito es la línea «VERIFICA CORRECTO»: los intérpretes de Wine salen con 0 aunque fallen.
Option Explicit
Dim carpeta, ctl, firmado, r, fallos, sinAutoridad
fallos = 0
carpeta = WScript.Arguments(0)
sinAutoridad = WScript.Arguments.Count > 1

Sub Comprobar(que, obtenido, esperado)
    If obtenido <> esperado Then
        fallos = fallos + 1
        WScript.Echo "FALLO: " & que & ": [" & obtenido & "] en vez de [" & esperado & "]"
    End If
End Sub

Set ctl = CreateObject("MORVELIN.MorvelinCtl")

' Firmada aquí mismo: el servicio contesta con el mismo nombre que da FIRMA.
firmado = ctl.FIRMA(carpeta & "\factura.xml", "12345678Z", carpeta & "\firmas\local.fir")
Comprobar "FIRMA", firmado, "00 NOMBRE PRUEBA ANA - NIF 12345678Z"
If sinAutoridad Then
    r = ctl.VERIFICA(carpeta & "\firmas\local.fir", carpeta & "\vuelta\sin-autoridad.xml")
    Comprobar "VERIFICA sin la autoridad", r, "17 No se ha podido establecer conexi" & _
        Chr(243) & "n https con el servidor de la ZELK para verificar la firma."
Else
    r = ctl.VERIFICA(carpeta & "\firmas\local.fir", carpeta & "\vuelta\factura.xml")
    Comprobar "VERIFICA", r, firmado

    ' La factura cambiada después de firmar (la prepara la prueba): la firma ya no casa.
    r = ctl.VERIFICA(carpeta & "\firmas\alterada.fir", carpeta & "\vuelta\alterada.xml")
    Comprobar "VERIFICA alterada", r, "12 Firma no v" & Chr(225) & _
        "lida para la factura telem" & Chr(225) & "tica incorporada."
End If

If fallos = 0 Then WScript.Echo "VERIFICA CORRECTO"
