' Prueba del componente desde VBScript, como lo crea una aplicación con CreateObject.
'     cscript //nologo prueba.vbs <carpeta de trabajo>
' Los intérpretes de scripts de Wine salen con 0 aunque el script falle: el éxito es la línea
' «VBSCRIPT CORRECTO».
Option Explicit
Dim carpeta, ctl, r, fallos
fallos = 0
carpeta = WScript.Arguments(0)

Sub Comprobar(que, obtenido, esperado)
    If obtenido <> esperado Then
        fallos = fallos + 1
        WScript.Echo "FALLO: " & que & ": [" & obtenido & "] en vez de [" & esperado & "]"
    End If
End Sub

Set ctl = CreateObject("MORVELIN.MorvelinCtl")

r = ctl.VERIFICA(carpeta & "\no-existe.fir", carpeta & "\salida.xml")
Comprobar "VERIFICA sin fichero", r, "19 No se ha podido leer el fichero firmado."

r = ctl.FIRMA("", "B12345678", carpeta & "\x.fir")
Comprobar "FIRMA sin factura", r, "01 No se ha podido leer el fichero a firmar."

r = ctl.FIRMA(carpeta & "\factura.xml", "B12345678", carpeta & "\x.fir")
Comprobar "FIRMA sin certificado", r, "03 El certificado indicado no existe en el almac" & _
    Chr(233) & "n de certificados."

' El certificado de prueba del almacén personal; el fichero lo comprueba después openssl.
r = ctl.FIRMA(carpeta & "\factura.xml", "12345678Z", carpeta & "\firmas\vbscript.fir")
Comprobar "FIRMA", r, "00 NOMBRE PRUEBA ANA - NIF 12345678Z"

' El mismo objeto por el identificador con versión.
Set ctl = CreateObject("MORVELIN.MorvelinCtl.1")
r = ctl.VERIFICA(carpeta & "\factura.xml", carpeta & "\salida.xml")
Comprobar "VERIFICA sin etiquetas", r, "11 Formato incorrecto del fichero con firma a verificar."
r = ctl.VERIFICA(carpeta & "\firmas\vbscript.fir", carpeta & "\salida.xml")
Comprobar "VERIFICA sin conexión", r, "17 No se ha podido establecer conexi" & Chr(243) & _
    "n https con el servidor de la ZELK para verificar la firma."

If fallos = 0 Then WScript.Echo "VBSCRIPT CORRECTO"
